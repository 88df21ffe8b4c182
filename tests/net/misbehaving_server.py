"""An HTTP server that breaks the rules on request, for the transfer tests.

Listens on 127.0.0.1, port 0, and prints its port on the first line of its
output. With --tls CERT KEY it speaks TLS. The path picks the behaviour:

  /longer/N     Content-Length N + 1000, N bytes, then the connection closes
  /shorter/N    Content-Length N, N + 1000 bytes
  /none/N       no Content-Length, N bytes, then the connection closes
  /length/TEXT  Content-Length TEXT and no body
  /stall-headers   reads the request and sends nothing
  /stall-body/N    Content-Length N, N // 3 bytes, then nothing
  /status/CODE/FILE  the file's bytes under that status
  /redirect?URL    302 to URL
  /loop          302 to itself
  PUT or POST /echo  the request body sent back
  /file/FILE     the file under 200
Files come from the folder given by --files.
"""
import argparse
import os
import socket
import ssl
import sys
import threading
import time
import urllib.parse


def body_bytes(n):
    return bytes((i * 7) & 0xFF for i in range(n))


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return None, None, b""
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    method, target = lines[0].split(" ")[:2]
    length = 0
    for line in lines[1:]:
        name, _, value = line.partition(":")
        if name.strip().lower() == "content-length":
            length = int(value.strip())
    while len(rest) < length:
        chunk = conn.recv(65536)
        if not chunk:
            break
        rest += chunk
    return method, target, rest


def respond(conn, status, headers, body=b""):
    head = "HTTP/1.0 %s X\r\n" % status + "".join("%s: %s\r\n" % h for h in headers) + "\r\n"
    conn.sendall(head.encode("latin-1") + body)


def stall(conn):
    try:
        conn.settimeout(120)
        while conn.recv(1024):
            pass
    except OSError:
        pass


def serve(conn, files, port, scheme):
    method, target, request_body = read_request(conn)
    if method is None:
        return
    path, _, query = target.partition("?")
    parts = path.strip("/").split("/")
    kind = parts[0]
    if kind == "longer":
        n = int(parts[1])
        respond(conn, 200, [("Content-Length", n + 1000)], body_bytes(n))
    elif kind == "shorter":
        n = int(parts[1])
        respond(conn, 200, [("Content-Length", n)], body_bytes(n + 1000))
    elif kind == "none":
        respond(conn, 200, [], body_bytes(int(parts[1])))
    elif kind == "length":
        respond(conn, 200, [("Content-Length", urllib.parse.unquote(parts[1]))])
    elif kind == "stall-headers":
        stall(conn)
    elif kind == "stall-body":
        n = int(parts[1])
        respond(conn, 200, [("Content-Length", n)], body_bytes(n // 3))
        stall(conn)
    elif kind == "status":
        with open(os.path.join(files, parts[2]), "rb") as f:
            data = f.read()
        respond(conn, int(parts[1]), [("Content-Length", len(data))], data)
    elif kind == "redirect":
        respond(conn, 302, [("Location", urllib.parse.unquote(query)), ("Content-Length", 0)])
    elif kind == "loop":
        respond(conn, 302, [("Location", "%s://localhost:%d/loop" % (scheme, port)), ("Content-Length", 0)])
    elif kind == "echo" and method in ("PUT", "POST"):
        respond(conn, 200, [("Content-Length", len(request_body)), ("X-Method", method)], request_body)
    elif kind == "file":
        with open(os.path.join(files, parts[1]), "rb") as f:
            data = f.read()
        respond(conn, 200, [("Content-Length", len(data))], data)
    else:
        respond(conn, 400, [("Content-Length", 0)])


def handle(conn, files, port, scheme):
    try:
        serve(conn, files, port, scheme)
    except (OSError, ValueError, IndexError, ssl.SSLError):
        pass
    finally:
        try:
            conn.close()
        except OSError:
            pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--files", default=".")
    parser.add_argument("--tls", nargs=2)
    args = parser.parse_args()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    port = listener.getsockname()[1]
    context = None
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls[0], args.tls[1])
    print(port, flush=True)
    scheme = "https" if context else "http"
    while True:
        conn, _ = listener.accept()
        if context:
            try:
                conn.settimeout(10)
                conn = context.wrap_socket(conn, server_side=True)
                conn.settimeout(None)
            except (OSError, ssl.SSLError):
                conn.close()
                continue
        threading.Thread(target=handle, args=(conn, args.files, port, scheme), daemon=True).start()


if __name__ == "__main__":
    main()
