#!/usr/bin/python3
"""A real SMTP server for the mail tests: aiosmtpd, AUTH required.

smtp_server.py --port-file F --cert PEM --key KEY --maildir DIR [--user U --password P] [--security S]
               [--mechanisms M ...]

--security: "implicit" (default) TLS from the first byte; "starttls" in clear until STARTTLS, which it requires
before anything else; "none" in clear with no STARTTLS offered at all.

--mechanisms: the AUTH mechanisms offered, of LOGIN and PLAIN (default: both).

Each accepted message is written to DIR/message-N.json: {"mail_from", "rcpt_tos", "data_base64", "auth_user"}.
The port is written to F (a sibling renamed into place) once the server listens on 127.0.0.1.
"""
import argparse
import asyncio
import base64
import json
import os
import signal
import ssl
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Maildir:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "data_base64": base64.b64encode(envelope.original_content or envelope.content).decode("ascii"),
            "auth_user": session.auth_data.login.decode("latin-1") if isinstance(session.auth_data, LoginPassword)
            else None,
        }
        path = os.path.join(self.folder, "message-%d.json" % self.count)
        with open(path + ".tmp", "w") as out:
            json.dump(record, out)
        os.replace(path + ".tmp", path)
        return "250 Message accepted for delivery"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--maildir", required=True)
    parser.add_argument("--user", default="ann")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--security", choices=["implicit", "starttls", "none"], default="implicit")
    parser.add_argument("--mechanisms", nargs="+", choices=["LOGIN", "PLAIN"], default=["LOGIN", "PLAIN"])
    args = parser.parse_args()
    # With implicit TLS the connection is protected though aiosmtpd can't know it; "none" is clear on purpose.
    warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (mechanism in args.mechanisms and isinstance(auth_data, LoginPassword)
              and auth_data.login == args.user.encode() and auth_data.password == args.password.encode())
        # handled=False: aiosmtpd then answers a refusal with its own 535 line.
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    handler = Maildir(args.maildir)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    left_out = [m for m in ("LOGIN", "PLAIN") if m not in args.mechanisms]
    common = dict(authenticator=authenticate, auth_required=True, decode_data=False, auth_exclude_mechanism=left_out,
                  data_size_limit=64 * 1024 * 1024, hostname="smtp.localhost")
    if args.security == "implicit":
        # The connection is TLS from its first byte, so AUTH over it is safe; aiosmtpd only knows STARTTLS for that.
        factory = lambda: SMTP(handler, auth_require_tls=False, **common)
    elif args.security == "starttls":
        factory = lambda: SMTP(handler, tls_context=context, require_starttls=True, **common)
    else:
        factory = lambda: SMTP(handler, auth_require_tls=False, **common)
    listen_ssl = context if args.security == "implicit" else None
    server = loop.run_until_complete(loop.create_server(factory, host="127.0.0.1", port=0, ssl=listen_ssl))
    port = server.sockets[0].getsockname()[1]
    with open(args.port_file + ".tmp", "w") as out:
        out.write("%d\n" % port)
    os.replace(args.port_file + ".tmp", args.port_file)
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_signal_handler(signal.SIGINT, loop.stop)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
