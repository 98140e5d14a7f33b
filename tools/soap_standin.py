#!/usr/bin/env python3
"""Stand-in of the two SOAP services of the central transport system, on loopback.

Usage:
    tools/soap_standin.py --data FILE [--port N] [--port-file FILE] [--record FILE]
                          [--base-url /morvel25/servlet]

  --port 0 (the default) picks a free port between 20000 and 32767, below the ephemeral
  ports the kernel hands out to clients; any other port from 1 to 65535 is taken as
  given. The port is printed as "PORT <n>" on the first line of standard output and, with
  --port-file, written to that file (the file appears only when the server already
  listens).
  --record FILE keeps the last request as received: request line, header lines, an
  empty line and the body.

Services (POST, SOAP 1.1), under the base URL:
    <base-url>/aws_vehiculos_cartaporte_v3    vehicles   (Succve, Unicve, Almcve, Numeco, Placas)
    <base-url>/aws_operadores_cartaporte_v2   operators  (Succve, Unicve, Almcve, Emptipo,
                                                          Empnum, Emprfc)

The data file is JSON and is read again on every request, so a test can change the
answer between two calls:

    {
      "vehicles":  [{"VehNumEco": 101, "VehPlacas": "ABC123", "VehSucCve": 1,
                     "VehUniCve": 2, "VehAlmCve": 3, ...}, ...],
      "operators": [{"EmpRFC": "XAXX010101000", "SUCCVE": 1, "UniCve": 2,
                     "AlmCve": 3, ...}, ...],
      "mode": {...}                                   (optional, see below)
    }

Each entry's keys are the element names of the reply items and are written in the
order given. Selection as the central services do it: with blank Placas (Emprfc) the
entries of region Succve and unit Unicve (and of warehouse Almcve when it is not 0);
otherwise the entries with that plate number (taxpayer code).

"mode" changes the answer of every request:
    {"kind": "fault", "faultcode": "SOAP-ENV:Client", "faultstring": "...",
     "detail": "...", "status": 500}           a SOAP fault (HTTP status 500 by default)
    {"kind": "prefixed_fault", "prefix": "soap", "faultcode": "soap:Client", ...}
                                               the same fault as common SOAP stacks write
                                               it: envelope, body and fault under another
                                               prefix bound to the SOAP 1.1 namespace
    {"kind": "cdata"}                          the normal reply with every text field of
                                               the items written as a CDATA section
    {"kind": "raw", "body": "...", "status": 200, "content_type": "text/xml"}
                                               exactly that reply
    {"kind": "truncated", "bytes": 300}        the normal reply cut after that many bytes
                                               (half of it without "bytes")
    {"kind": "http_error", "status": 500, "reason": "Internal Server Error",
     "body": "..."}                            an HTTP error with a text/plain body
    {"kind": "delay", "seconds": 5}            the normal reply, that much later
    {"kind": "oversize", "bytes": 1000000}     a well-formed reply of that many bytes
An unknown path answers 404.
"""

import argparse
import json
import os
import random
import sys
import time
import xml.etree.ElementTree as ET
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from xml.sax.saxutils import escape

ENVELOPE_NS = "http://schemas.xmlsoap.org/soap/envelope/"
REQUEST_NS = "morvel25"

SERVICES = {
    "aws_vehiculos_cartaporte_v3": {
        "data": "vehicles",
        "reply": "AWS_VEHICULOS_CARTAPORTE_V3.ExecuteResponse",
        "result": "Etd_vcpv3",
        "item": "Etd_vcpv3.Etd_vcpv3Item",
        "keys": ("VehSucCve", "VehUniCve", "VehAlmCve"),
        "lookup": ("Placas", "VehPlacas"),
    },
    "aws_operadores_cartaporte_v2": {
        "data": "operators",
        "reply": "AWS_OPERADORES_CARTAPORTE_V2.ExecuteResponse",
        "result": "Etd_operadores_cportev2",
        "item": "Etd_Operadores_cportev2.Etd_Operadores_cportev2Item",
        "keys": ("SUCCVE", "UniCve", "AlmCve"),
        "lookup": ("Emprfc", "EmpRFC"),
    },
}


def envelope(body, prefix="SOAP-ENV"):
    return ('<?xml version="1.0" encoding="utf-8"?>'
            '<{p}:Envelope xmlns:{p}="{ns}" '
            'xmlns:xsd="http://www.w3.org/2001/XMLSchema" '
            'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" '
            'xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/">'
            '<{p}:Body>{body}</{p}:Body></{p}:Envelope>').format(p=prefix, ns=ENVELOPE_NS,
                                                                  body=body)


def fault(code, message, detail="", prefix="SOAP-ENV"):
    return envelope("<{p}:Fault><faultcode>{c}</faultcode><faultstring>{m}</faultstring>"
                    "<detail>{d}</detail></{p}:Fault>".format(
                        p=prefix, c=escape(code), m=escape(message), d=escape(detail)),
                    prefix)


def text_field(value, cdata):
    """A field's text: escaped, or as a CDATA section when asked for (numbers stay plain)."""
    if cdata and isinstance(value, str):
        return "<![CDATA[%s]]>" % value.replace("]]>", "]]]]><![CDATA[>")
    return escape(str(value))


def number(text):
    try:
        return int(float(text.strip()))
    except ValueError:
        return 0


def request_parameters(body):
    """The elements of "Execute" as a dict of texts; None when the request is unreadable."""
    try:
        root = ET.fromstring(body)
    except ET.ParseError:
        return None
    execute = root.find("{%s}Body/{%s}Execute" % (ENVELOPE_NS, REQUEST_NS))
    if execute is None:
        return None
    return {child.tag.split("}")[-1]: (child.text or "") for child in execute}


def select(service, entries, params):
    wanted = params.get(service["lookup"][0], "").strip()
    if wanted:
        return [e for e in entries if str(e.get(service["lookup"][1], "")).strip() == wanted]
    region, unit, warehouse = (number(params.get(k, "0")) for k in ("Succve", "Unicve", "Almcve"))
    keys = service["keys"]
    return [e for e in entries
            if number(str(e.get(keys[0], 0))) == region and number(str(e.get(keys[1], 0))) == unit
            and (warehouse == 0 or number(str(e.get(keys[2], 0))) == warehouse)]


def reply(service, entries, cdata=False):
    if not entries:
        result = '<%s xmlns="%s"/>' % (service["result"], REQUEST_NS)
    else:
        items = "".join(
            "<%s>%s</%s>" % (service["item"],
                             "".join("<%s>%s</%s>" % (k, text_field(v, cdata), k) for k, v in e.items()),
                             service["item"])
            for e in entries)
        result = '<%s xmlns="%s">%s</%s>' % (service["result"], REQUEST_NS, items,
                                             service["result"])
    return envelope('<%s xmlns="%s">%s</%s>' % (service["reply"], REQUEST_NS, result,
                                                service["reply"]))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "kalu-soap-standin/1"

    def log_message(self, fmt, *args):  # quiet: tests read stdout
        pass

    def answer(self, status, body, content_type="text/xml; charset=utf-8", reason=None):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(status, reason)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        try:
            self.serve()
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client gave up (time-out, reply too large)

    def serve(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length).decode("utf-8", "replace")
        if self.server.record:
            with open(self.server.record + ".tmp", "w", encoding="utf-8", newline="") as f:
                f.write(self.requestline + "\r\n")
                f.writelines("%s: %s\r\n" % item for item in self.headers.items())
                f.write("\r\n" + body)
            os.replace(self.server.record + ".tmp", self.server.record)
        base, _, name = self.path.rpartition("/")
        service = SERVICES.get(name)
        if service is None or base != self.server.base_url:
            self.answer(404, "no service at %s\n" % self.path, "text/plain", "Not Found")
            return
        with open(self.server.data, encoding="utf-8") as f:
            data = json.load(f)
        mode = data.get("mode") or {}
        kind = mode.get("kind", "normal")

        if kind == "fault":
            self.answer(mode.get("status", 500),
                        fault(mode.get("faultcode", "SOAP-ENV:Server"),
                              mode.get("faultstring", ""), mode.get("detail", "")))
            return
        if kind == "prefixed_fault":
            prefix = mode.get("prefix", "soap")
            self.answer(mode.get("status", 500),
                        fault(mode.get("faultcode", prefix + ":Server"),
                              mode.get("faultstring", ""), mode.get("detail", ""), prefix))
            return
        if kind == "raw":
            self.answer(mode.get("status", 200), mode.get("body", ""),
                        mode.get("content_type", "text/xml; charset=utf-8"))
            return
        if kind == "http_error":
            self.answer(mode.get("status", 500), mode.get("body", "server error\n"),
                        "text/plain", mode.get("reason"))
            return
        if kind == "oversize":
            size = int(mode.get("bytes", 1 << 20))
            head, tail = envelope("<!--"), "-->"
            filler = "x" * max(0, size - len(head) - len(tail))
            self.answer(200, head + filler + tail)
            return

        params = request_parameters(body)
        if params is None:
            self.answer(500, fault("SOAP-ENV:Client", "Unreadable request"))
            return
        text = reply(service, select(service, data.get(service["data"], []), params),
                     kind == "cdata")
        if kind == "delay":
            time.sleep(float(mode.get("seconds", 5)))
        elif kind == "truncated":
            text = text[:int(mode.get("bytes", len(text) // 2))]
        self.answer(200, text)


def listen(port):
    """A server on the loopback port, or on a free one from 20000 up when port is 0."""
    if port:
        return ThreadingHTTPServer(("127.0.0.1", port), Handler)
    candidates = list(range(20000, 32768))
    random.shuffle(candidates)
    for candidate in candidates:
        try:
            return ThreadingHTTPServer(("127.0.0.1", candidate), Handler)
        except OSError:
            continue
    raise SystemExit("no free port between 20000 and 32767")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--record")
    parser.add_argument("--base-url", default="/morvel25/servlet")
    args = parser.parse_args()

    server = listen(args.port)
    server.daemon_threads = True
    server.data = args.data
    server.record = args.record
    server.base_url = args.base_url.rstrip("/")
    port = server.server_address[1]
    print("PORT %d" % port, flush=True)
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % port)
        os.replace(args.port_file + ".tmp", args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
