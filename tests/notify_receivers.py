#!/usr/bin/python3
"""The notify tests' receivers: an HTTPS server that records each request (the push and the
webhook) and an SMTP server with STARTTLS and a login (aiosmtpd) that records each message.

  notify_receivers.py DIR [--https-port N] [--smtp-port N]

DIR holds the test authority and the server's certificate (made with openssl on the first run,
kept for the next), and the records: requests.jsonl and mail.jsonl, one JSON object a line.
When both listen it prints "READY <https port> <smtp port>" and runs until it is killed.

While the file DIR/hold is there, each HTTPS request is read and then held unanswered until the
file is gone; held.jsonl says {"path": ..., "held": true} when one arrives and, when its sender
went away meanwhile, {"path": ..., "dropped": true} instead of recording it in requests.jsonl:
the server never answered it, so it was not taken.
"""
import argparse
import http.server
import json
import logging
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

USER = b"plant"
PASSWORD = b"s3cret"


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_certificates(d):
    """A test authority, the server's certificate for 127.0.0.1 and localhost signed by it, and
    an authority that signed nothing here (the wrong one)."""
    if os.path.exists(os.path.join(d, "server.pem")):
        return
    for name in ("ca", "other-ca"):
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                "-subj", f"/CN=Tessaly test {name}", "-keyout", f"{name}.key",
                "-out", f"{name}.pem", cwd=d)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
            "-keyout", "server.key", "-out", "server.csr", cwd=d)
    with open(os.path.join(d, "ext.cnf"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", "ext.cnf", "-out", "server.pem", cwd=d)


def record(path, entry, lock):
    with lock:
        with open(path, "a") as f:
            f.write(json.dumps(entry) + "\n")
            f.flush()
            os.fsync(f.fileno())


def peer_gone(sock):
    """Whether the other end closed the connection: a peek that finds its end."""
    raw = socket.socket(fileno=os.dup(sock.fileno()))
    try:
        return raw.recv(1, socket.MSG_PEEK | socket.MSG_DONTWAIT) == b""
    except BlockingIOError:
        return False
    except OSError:
        return True
    finally:
        raw.close()


def https_server(d, port, lock):
    hold = os.path.join(d, "hold")
    held = os.path.join(d, "held.jsonl")

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            body = self.rfile.read(length).decode("utf-8", "replace")
            if os.path.exists(hold):
                record(held, {"path": self.path, "held": True}, lock)
                while os.path.exists(hold):
                    time.sleep(0.05)
                if peer_gone(self.connection):
                    record(held, {"path": self.path, "dropped": True}, lock)
                    self.close_connection = True
                    return
            record(os.path.join(d, "requests.jsonl"),
                   {"path": self.path, "headers": dict(self.headers.items()), "body": body},
                   lock)
            answer = json.dumps({"id": "t1", "event": "message"}).encode()
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(answer)))
            self.end_headers()
            self.wfile.write(answer)

        def log_message(self, *args):
            pass

    # The test restarts the receivers on the same ports: a port of the system's range could be
    # a connection's by then.
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port or free_port()), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(d, "server.pem"), os.path.join(d, "server.key"))
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


class MailHandler:
    def __init__(self, d, lock):
        self.d = d
        self.lock = lock

    async def handle_DATA(self, server, session, envelope):
        record(os.path.join(self.d, "mail.jsonl"),
               {"from": envelope.mail_from, "to": envelope.rcpt_tos,
                "tls": session.ssl is not None,
                "login": session.authenticated,
                "data": envelope.content.decode("utf-8", "replace")}, self.lock)
        return "250 2.0.0 Ok: queued as T1"


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = (isinstance(auth_data, LoginPassword) and auth_data.login == USER
          and auth_data.password == PASSWORD)
    return AuthResult(success=ok)


def free_port():
    # Below the system's range of ports handed out at random, as the C++ tests' freePort: a
    # port bound and let go there could be handed to another test before aiosmtpd binds it.
    room = 12000
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range") as f:
            low = int(f.read().split()[0])
    except (OSError, ValueError, IndexError):
        low = 0
    ports = ([low - room + (os.getpid() * 7 + k) % room for k in range(room)]
             if low > room + 1024 else [0])
    for port in ports:
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
            except OSError:
                continue
            return s.getsockname()[1]
    raise OSError("no free port")


def main():
    # aiosmtpd's own use of its deprecated login_data is not this test's business.
    warnings.filterwarnings("ignore", category=DeprecationWarning)
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    parser = argparse.ArgumentParser()
    parser.add_argument("dir")
    parser.add_argument("--https-port", type=int, default=0)
    parser.add_argument("--smtp-port", type=int, default=0)
    args = parser.parse_args()
    make_certificates(args.dir)
    lock = threading.Lock()
    https_port = https_server(args.dir, args.https_port, lock)
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(os.path.join(args.dir, "server.pem"), os.path.join(args.dir, "server.key"))
    smtp_port = args.smtp_port or free_port()
    controller = Controller(MailHandler(args.dir, lock), hostname="127.0.0.1", port=smtp_port,
                            tls_context=tls, require_starttls=True, auth_require_tls=True,
                            authenticator=authenticate, auth_exclude_mechanism=["CRAM-MD5"])
    controller.start()
    print(f"READY {https_port} {smtp_port}", flush=True)
    try:
        threading.Event().wait()
    finally:
        controller.stop()


if __name__ == "__main__":
    sys.exit(main())
