#!/usr/bin/python3
"""A scripted TLS server for the tests: it listens on 127.0.0.1, takes up to N connections one after the other,
does the server side of the handshake (TLS 1.2 or later) and runs the same script of actions on each.

    scripted_tls.py --port-file F --cert PEM --key KEY --script SCRIPT.json [--log LOG] [--data-dir DIR]
                    [--connections N] [--plain] [--rcvbuf BYTES]

With --plain the connection starts in clear, and {"starttls": true} makes the handshake at that point of the
script; --rcvbuf sets the accepted sockets' receive buffer, so a slow reader soon holds the client back.

The port goes to F (written beside it and renamed into place) once the server listens. The script is a JSON list:
    {"send": "text", "delay": s, "pieces": [n1, n2, ...], "gap": s}
        the text as latin-1 bytes; with pieces, split into pieces of those byte counts plus the rest, each its own
        write (so its own TLS record), gap seconds apart; delay is a sleep before
    {"recv": "line"}   one line up to CR LF (30 s at most), logged as {"line": ...} without the CR LF
    {"recv": "data"}   up to CR LF . CR LF, logged as {"data_length": n, "sha256": hex} of the bytes before that
                       marker (dot-stuffing kept), saved to DIR/message-K.eml with --data-dir (K counts from 1);
                       with "rate": bytes per second, read no faster than that
    {"starttls": true} the server side of the handshake on the connection so far in clear (--plain)
    {"sleep": s}
    {"close": true}    closes the connection at once, without a TLS close
    {"reset": true}    closes the connection with a TCP reset (RST), as a server that drops it abruptly
    {"discard": true}  reads until the client closes, logged as {"event": "discarded", "bytes": n}
After the last action it waits up to 10 s for the client to close (logging {"event": "timeout"} if it doesn't),
then closes. The log has one JSON object per line, flushed at once: {"event": "connected"} after a handshake,
{"event": "handshake_failed", "error": ...}, {"event": "closed"}, and {"event": "timeout"} or {"event": "eof"}
when a receive ends the script early. A failed handshake counts as one of the N connections.
"""

import argparse
import hashlib
import json
import os
import signal
import socket
import ssl
import struct
import sys
import time

LINE_TIMEOUT = 30.0
HANDSHAKE_TIMEOUT = 30.0
CLOSE_WAIT = 10.0
DATA_END = b"\r\n.\r\n"


class Log:
    def __init__(self, path):
        self.file = open(path, "a", encoding="ascii") if path else None

    def write(self, record):
        if self.file:
            self.file.write(json.dumps(record) + "\n")
            self.file.flush()


class ReceiveEnded(Exception):
    """The client went away or stayed silent too long; the script stops for this connection."""

    def __init__(self, event):
        super().__init__(event)
        self.event = event


class Connection:
    def __init__(self, tls):
        self.tls = tls
        self.pending = bytearray()  # received but not used yet: the client may send ahead
        self.rate = None  # bytes per second while reading slowly

    def read_more(self, deadline):
        left = deadline - time.monotonic()
        if left <= 0:
            raise ReceiveEnded("timeout")
        self.tls.settimeout(left)
        try:
            chunk = self.tls.recv(16384 if self.rate else 65536)
            if self.rate and chunk:
                time.sleep(len(chunk) / self.rate)
        except (socket.timeout, TimeoutError):
            raise ReceiveEnded("timeout")
        except (ssl.SSLError, OSError):
            raise ReceiveEnded("eof")
        if not chunk:
            raise ReceiveEnded("eof")
        self.pending += chunk

    def read_until(self, marker, timeout, at_start=None):
        deadline = time.monotonic() + timeout
        searched = 0  # bytes already known not to start the marker: big messages stay linear
        while True:
            if at_start is not None and self.pending.startswith(at_start):
                del self.pending[:len(at_start)]
                return b""
            end = self.pending.find(marker, searched)
            if end >= 0:
                body = bytes(self.pending[:end])
                del self.pending[:end + len(marker)]
                return body
            searched = max(0, len(self.pending) - len(marker) + 1)
            self.read_more(deadline)


def send(tls, action):
    time.sleep(float(action.get("delay", 0)))
    data = action["send"].encode("latin-1")
    pieces = []
    at = 0
    for size in action.get("pieces", []):
        if at >= len(data):
            break
        pieces.append(data[at:at + int(size)])
        at += int(size)
    if at < len(data) or not pieces:
        pieces.append(data[at:])
    gap = float(action.get("gap", 0))
    for i, piece in enumerate(pieces):
        if i > 0:
            time.sleep(gap)
        tls.sendall(piece)


def discard(conn):
    count = len(conn.pending)
    conn.pending = b""
    while True:
        try:
            conn.read_more(time.monotonic() + LINE_TIMEOUT)
        except ReceiveEnded:
            break
        count += len(conn.pending)
        conn.pending = b""
    return count


def wait_for_close(conn, log):
    deadline = time.monotonic() + CLOSE_WAIT
    while True:
        try:
            conn.read_more(deadline)
        except ReceiveEnded as ended:
            if ended.event == "timeout":
                log.write({"event": "timeout"})
            return
        conn.pending = b""


def run_script(tls, script, log, state):
    conn = Connection(tls)
    try:
        for action in script:
            if "send" in action:
                send(conn.tls, action)
            elif action.get("starttls"):
                conn.tls = state["context"].wrap_socket(conn.tls, server_side=True)
                log.write({"event": "starttls"})
            elif action.get("recv") == "line":
                line = conn.read_until(b"\r\n", LINE_TIMEOUT)
                log.write({"line": line.decode("latin-1")})
            elif action.get("recv") == "data":
                conn.rate = action.get("rate")
                data = conn.read_until(DATA_END, LINE_TIMEOUT, at_start=b".\r\n")
                conn.rate = None
                log.write({"data_length": len(data), "sha256": hashlib.sha256(data).hexdigest()})
                state["messages"] += 1
                if state["data_dir"]:
                    path = os.path.join(state["data_dir"], "message-%d.eml" % state["messages"])
                    with open(path, "wb") as out:
                        out.write(data)
            elif "sleep" in action:
                time.sleep(float(action["sleep"]))
            elif action.get("close"):
                return conn.tls
            elif action.get("reset"):
                conn.tls.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                return conn.tls
            elif action.get("discard"):
                log.write({"event": "discarded", "bytes": discard(conn)})
                return conn.tls
            else:
                log.write({"event": "unknown_action", "action": action})
        wait_for_close(conn, log)
    except ReceiveEnded as ended:
        log.write({"event": ended.event})
    except (ssl.SSLError, OSError) as error:
        log.write({"event": "error", "error": str(error)})
    return conn.tls


def serve(args):
    with open(args.script, encoding="utf-8") as f:
        script = json.load(f)
    log = Log(args.log)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(args.cert, args.key)
    if args.data_dir:
        os.makedirs(args.data_dir, exist_ok=True)
    state = {"messages": 0, "data_dir": args.data_dir, "context": context}

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if args.rcvbuf:
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, args.rcvbuf)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    temporary = args.port_file + ".tmp"
    with open(temporary, "w", encoding="ascii") as f:
        f.write("%d\n" % listener.getsockname()[1])
    os.replace(temporary, args.port_file)

    for _ in range(args.connections):
        raw, _ = listener.accept()
        raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        raw.settimeout(HANDSHAKE_TIMEOUT)
        if args.plain:
            tls = raw
        else:
            tls = context.wrap_socket(raw, server_side=True, do_handshake_on_connect=False)  # takes over raw
            try:
                tls.do_handshake()
            except (ssl.SSLError, OSError) as error:
                log.write({"event": "handshake_failed", "error": str(error)})
                tls.close()
                continue
        log.write({"event": "connected"})
        try:
            tls = run_script(tls, script, log, state)
        finally:
            tls.close()
            log.write({"event": "closed"})
    return 0


def main():
    # Stopped by the tests with SIGTERM at any point; the log is already flushed, so just go.
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    parser = argparse.ArgumentParser(description="A scripted TLS server for the tests.")
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--script", required=True)
    parser.add_argument("--log")
    parser.add_argument("--data-dir")
    parser.add_argument("--connections", type=int, default=1)
    parser.add_argument("--plain", action="store_true")
    parser.add_argument("--rcvbuf", type=int)
    return serve(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
