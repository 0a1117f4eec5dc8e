#!/usr/bin/python3
"""Writes a received message as a small HTML page, the way a mail program shows it, for the user guide's picture.

mail-picture.py MESSAGE_JSON OUT_HTML
MESSAGE_JSON is what tools/smtp-peer/smtp_server.py wrote for the message; every text is escaped.
"""
import base64
import email
import email.policy
import html
import json
import sys


def main(source, target):
    with open(source) as f:
        record = json.load(f)
    message = email.message_from_bytes(base64.b64decode(record["data_base64"]), policy=email.policy.default)
    body = message.get_body(preferencelist=("plain",))
    text = body.get_content() if body else ""
    attachments = [part.get_filename() for part in message.iter_attachments() if part.get_filename()]
    rows = "".join(
        "<tr><th>%s</th><td>%s</td></tr>" % (name, html.escape(str(message.get(name, ""))))
        for name in ("From", "To", "Subject", "Date")
    )
    chips = "".join('<span class="file">%s</span>' % html.escape(name) for name in attachments)
    page = (
        "<!DOCTYPE html><html><head><meta charset='utf-8'><style>"
        "body{font:13px 'Liberation Sans',sans-serif;margin:0;background:#fff;color:#222}"
        "table{border-collapse:collapse;width:100%%;background:#f3f3f3;border-bottom:1px solid #ccc}"
        "th{text-align:right;color:#666;font-weight:normal;padding:3px 8px;width:60px}td{padding:3px 8px}"
        "pre{font:13px 'Liberation Sans',sans-serif;white-space:pre-wrap;margin:12px 14px}"
        ".files{margin:0 14px 12px}.file{border:1px solid #bbb;border-radius:3px;padding:2px 8px;background:#fafafa}"
        "</style></head><body><table>%s</table><pre>%s</pre><div class='files'>%s</div></body></html>"
        % (rows, html.escape(text), chips)
    )
    with open(target, "w", encoding="utf-8") as f:
        f.write(page)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: mail-picture.py MESSAGE_JSON OUT_HTML")
    main(sys.argv[1], sys.argv[2])
