"""A time-stamp authority for the release test (RFC 3161 over HTTP).

time_stamp_server.py <folder>: answers a POSTed time-stamp query at
http://127.0.0.1:<port>/<name> with a reply that `openssl ts -reply` signs
with <folder>/<name>.pem and <name>.key, <name>-chain.pem as the chain, and
<folder>/tsa.cnf as the configuration. Writes the port it listens on to
<folder>/port once it listens; runs until it is ended.
"""
import http.server
import os
import subprocess
import sys
import tempfile

folder = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        name = os.path.basename(self.path.strip("/"))
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as work:
            query_file, reply_file = os.path.join(work, "query.tsq"), os.path.join(work, "reply.tsr")
            with open(query_file, "wb") as out:
                out.write(query)
            made = subprocess.run(
                ["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile", query_file,
                 "-signer", name + ".pem", "-inkey", name + ".key", "-chain", name + "-chain.pem",
                 "-out", reply_file],
                cwd=folder, capture_output=True)
            if made.returncode != 0 or not name:
                sys.stderr.write(made.stderr.decode(errors="replace"))
                self.send_response(500)
                self.end_headers()
                return
            with open(reply_file, "rb") as replied:
                reply = replied.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(os.path.join(folder, "port.new"), "w") as port:
    port.write(str(server.server_address[1]))
os.replace(os.path.join(folder, "port.new"), os.path.join(folder, "port"))
server.serve_forever()
