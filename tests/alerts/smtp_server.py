#!/usr/bin/python3
"""A mail server for the SMTP client's tests, on aiosmtpd, listening on
127.0.0.1 at --port, else at one of the system's choice. It writes one JSON
object a line, flushed at once: its port, every command (with "tls" when it
came over TLS), each AUTH outcome, the TLS server name and each message as
received.
"""
import argparse
import asyncio
import functools
import hmac
import json
import ssl
import sys

from aiosmtpd.smtp import MISSING, SMTP, AuthResult


def record(**event):
    sys.stdout.write(json.dumps(event) + "\n")
    sys.stdout.flush()


def over_tls(server):
    return server.transport.get_extra_info("sslcontext") is not None


class RecordingSMTP(SMTP):
    """Records every command before aiosmtpd answers it."""


def recorded(verb):
    base = getattr(SMTP, "smtp_" + verb)

    @functools.wraps(base)
    async def command(self, arg):
        record(event="command", verb=verb, arg=arg, tls=over_tls(self))
        return await base(self, arg)

    return command


for _verb in ("EHLO", "HELO", "STARTTLS", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"):
    setattr(RecordingSMTP, "smtp_" + _verb, recorded(_verb))


class Handler:
    def __init__(self, options):
        self.options = options

    def check(self, server, mechanism, ok):
        record(event="auth", mechanism=mechanism, ok=ok, tls=over_tls(server))
        # handled=False: aiosmtpd then answers 235 or 535 itself.
        return AuthResult(success=ok, handled=False)

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        return self.check(server, mechanism, (auth_data.login, auth_data.password) ==
                          (self.options.user.encode(), self.options.password.encode()))

    # aiosmtpd names the mechanism from the method: "__" becomes "-".
    async def auth_CRAM__MD5(self, server, args):
        challenge = f"<{id(server)}@vantrel.test>".encode()
        answer = await server.challenge_auth(challenge)
        if answer is MISSING:
            return AuthResult(success=False, handled=True)
        expected = hmac.new(self.options.password.encode(), challenge, "md5").hexdigest()
        return self.check(server, "CRAM-MD5", answer == f"{self.options.user} {expected}".encode())

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.options.refuse:
            return "550 5.1.1 No such user"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        record(event="data", content=envelope.original_content.decode("latin-1"))
        return "250 OK"


async def serve(options):
    context = None
    if options.tls != "none":
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(options.cert, options.key)
        context.sni_callback = lambda _ssl, name, _context: record(event="sni", name=name)
    handler = Handler(options)

    def session():
        return RecordingSMTP(
            handler,
            hostname="mail.vantrel.test",
            data_size_limit=options.size or None,
            tls_context=context if options.tls == "starttls" else None,
            authenticator=handler.authenticate,
            auth_require_tls=False,
            auth_exclude_mechanism={"PLAIN", "LOGIN", "CRAM-MD5"} - set(options.mechanisms.split()),
        )

    listener = await asyncio.get_running_loop().create_server(
        session, "127.0.0.1", options.port, ssl=context if options.tls == "implicit" else None)
    record(event="port", port=listener.sockets[0].getsockname()[1])
    await asyncio.Event().wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--mechanisms", default="CRAM-MD5 LOGIN")
    parser.add_argument("--size", type=int, default=0)
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--tls", choices=("none", "starttls", "implicit"), default="none")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--user", default="alice")
    parser.add_argument("--password", default="secret")
    asyncio.run(serve(parser.parse_args()))


if __name__ == "__main__":
    main()
