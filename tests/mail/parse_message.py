#!/usr/bin/python3
"""Reads a composed message the way a recipient's mail program would (Python's email parser) and prints what it
found as one JSON object:
    defects          the parser's complaints, over every part
    subject, message_id, to (the addresses)
    charset, transfer_encoding, text   of the text/plain part, the text decoded
    attachments      [[file name, sha256 of the decoded content], ...]
    longest_header   the longest header line, of the message or of a part, without its CR LF
    high_header_byte true when a header line holds a byte above 127
    longest_line     the longest line of the whole message
parse_message.py FILE
"""
import email
import email.policy
import hashlib
import json
import sys


def header_lines(raw):
    """The header lines of the message and of every part: from the start, and from each boundary line, up to the
    next empty line."""
    lines = raw.split(b"\r\n")
    found = []
    in_header = True
    for line in lines:
        if in_header:
            if line == b"":
                in_header = False
            else:
                found.append(line)
        elif line.startswith(b"--MyBoundary") and not line.startswith(b"--MyBoundary--"):
            in_header = True
    return found, lines


def main():
    raw = open(sys.argv[1], "rb").read()
    message = email.message_from_bytes(raw, policy=email.policy.default)
    defects = []
    attachments = []
    for part in message.walk():
        defects += [type(d).__name__ for d in part.defects]
        if part.get_filename() is not None:
            attachments.append([part.get_filename(), hashlib.sha256(part.get_payload(decode=True)).hexdigest()])
    body = message.get_body(("plain",))
    headers, lines = header_lines(raw)
    print(json.dumps({
        "defects": defects,
        "subject": str(message["subject"]),
        "message_id": str(message["message-id"]),
        "to": [address.addr_spec for address in message["to"].addresses],
        "charset": body.get_content_charset() if body else None,
        "transfer_encoding": body.get("content-transfer-encoding") if body else None,
        "text": body.get_content() if body else None,
        "attachments": attachments,
        "longest_header": max(len(line) for line in headers),
        "high_header_byte": any(b > 127 for line in headers for b in line),
        "longest_line": max(len(line) for line in lines),
    }))


if __name__ == "__main__":
    main()
