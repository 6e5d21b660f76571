#!/usr/bin/env python3
"""A loopback web server for the update tests.

Serves the files of --root (the query is ignored, so "check-update.php?id=.."
is the file "check-update.php") and appends each request line's path to
<root>/requests.log. Writes the chosen port to --port-file once listening.

--mode silent: accepts connections and never answers.
--mode stall-after=N: sends the headers and the first N bytes of a file, then
  nothing more.
--mode trickle=N: sends a file in pieces of N bytes, one every 0.1 s.
--mode redirect=URL: answers every request with a redirect to URL.
--tls: speaks https with a certificate for 127.0.0.1 that openssl makes at
  start into <root>/.tls/cert.pem (which is its own authority).
"""
import argparse
import http.server
import os
import socket
import ssl
import subprocess
import threading
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--mode", default="serve")
    parser.add_argument("--tls", action="store_true")
    args = parser.parse_args()
    root = os.path.abspath(args.root)

    if args.mode == "silent":
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        write_port(args.port_file, listener.getsockname()[1])
        held = []
        while True:
            connection, _ = listener.accept()
            held.append(connection)
            # A test waits for this to know a request is held.
            with open(os.path.join(root, "connections.log"), "a") as log:
                log.write("accepted\n")

    redirect = args.mode.split("=", 1)[1] if args.mode.startswith("redirect=") else None
    stall_after = None
    trickle = None
    if args.mode.startswith("stall-after="):
        stall_after = int(args.mode.split("=", 1)[1])
    if args.mode.startswith("trickle="):
        trickle = int(args.mode.split("=", 1)[1])

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *a, **k):
            super().__init__(*a, directory=root, **k)

        def log_message(self, *a):
            pass

        def do_GET(self):
            with open(os.path.join(root, "requests.log"), "a") as log:
                log.write(self.path + "\n")
            if redirect:
                self.send_response(302)
                self.send_header("Location", redirect)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            if (stall_after is None and trickle is None) or self.path.startswith("/check-update.php"):
                return super().do_GET()
            name = os.path.join(root, self.path.split("?")[0].lstrip("/"))
            with open(name, "rb") as f:
                data = f.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if trickle:
                for start in range(0, len(data), trickle):
                    self.wfile.write(data[start:start + trickle])
                    self.wfile.flush()
                    time.sleep(0.1)
                return
            self.wfile.write(data[:stall_after])
            self.wfile.flush()
            time.sleep(3600)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    if args.tls:
        folder = os.path.join(root, ".tls")
        os.makedirs(folder, exist_ok=True)
        cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-keyout", key, "-out", cert, "-days", "1", "-subj", "/CN=127.0.0.1",
                        "-addext", "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    write_port(args.port_file, server.server_address[1])
    server.serve_forever()


def write_port(path, port):
    with open(path + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(path + ".tmp", path)


if __name__ == "__main__":
    main()
