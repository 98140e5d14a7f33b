#!/usr/bin/env python3
"""A plain HTTP forward proxy on loopback for the tests: it takes requests in the absolute
form a client sends to a proxy ("GET http://host:port/path HTTP/1.1"), sends each to the
same port of 127.0.0.1 whatever the host is (the tests' hosts exist nowhere), and relays
the reply. Each request line it forwards is appended to the --record file.

  forward_proxy.py --port-file FILE --record FILE
"""
import argparse
import os
import http.client
import http.server
import socketserver
import urllib.parse


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--record", required=True)
    args = parser.parse_args()

    class Forward(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def relay(self):
            url = urllib.parse.urlsplit(self.path)
            if url.scheme != "http" or not url.port:
                self.send_error(400, "absolute http:// address with a port expected")
                return
            with open(args.record, "a", encoding="utf-8") as record:
                record.write(f"{self.command} {self.path}\n")
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length) if length else None
            headers = {k: v for k, v in self.headers.items()
                       if k.lower() not in ("proxy-connection", "connection")}
            target = http.client.HTTPConnection("127.0.0.1", url.port, timeout=60)
            path = url.path + ("?" + url.query if url.query else "")
            target.request(self.command, path or "/", body=body, headers=headers)
            reply = target.getresponse()
            data = reply.read()
            self.send_response(reply.status, reply.reason)
            for k, v in reply.getheaders():
                if k.lower() not in ("transfer-encoding", "connection", "content-length"):
                    self.send_header(k, v)
            self.send_header("Content-Length", str(len(data)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(data)
            self.close_connection = True
            target.close()

        do_GET = do_POST = do_PUT = do_DELETE = relay

        def log_message(self, *_):
            pass

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True

    server = Server(("127.0.0.1", 0), Forward)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))

    os.replace(args.port_file + ".tmp", args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
