"""A mail server of today's kind for the mail tests: STARTTLS before anything else, then AUTH
(PLAIN or LOGIN) with one account, then the message, printed as smtp_sink prints it.
Usage: smtp_tls_server.py PORT CERT KEY USER PASSWORD"""

import signal
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

from smtp_sink import Sink

port, cert, key, user, password = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5]


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user and \
        auth_data.password.decode() == password
    sys.stdout.write("AUTH %s %s\n" % (mechanism, "accepted" if ok else "refused"))
    sys.stdout.flush()
    return AuthResult(success=ok, handled=False)  # the server answers 235 or 535 itself


context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
context.load_cert_chain(cert, key)
controller = Controller(Sink(), hostname="127.0.0.1", port=int(port), tls_context=context,
                        require_starttls=True, authenticator=authenticator, auth_required=True)
controller.start()
print("READY", flush=True)
try:
    signal.pause()
finally:
    controller.stop()
