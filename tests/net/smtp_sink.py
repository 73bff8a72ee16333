"""An aiosmtpd handler for the mail tests: prints each message's envelope, greeting and raw bytes."""

import sys


class Sink:
    async def handle_DATA(self, server, session, envelope):
        out = sys.stdout.buffer
        out.write(b"GREETING: " + (b"EHLO" if session.extended_smtp else b"HELO") + b"\n")
        out.write(b"MAIL FROM: " + envelope.mail_from.encode() + b"\n")
        out.write(b"RCPT TO: " + ",".join(envelope.rcpt_tos).encode() + b"\n")
        out.write(envelope.original_content)
        out.write(b"\nEND MESSAGE\n")
        out.flush()
        return "250 OK"


class NoEhloSink(Sink):
    """A server of the old kind: EHLO is refused, only HELO works."""

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        return ["502 Command not implemented"]
