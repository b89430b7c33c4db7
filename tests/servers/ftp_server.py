#!/usr/bin/python3
"""A local FTP server for the transfer suites (Debian's python3-pyftpdlib).

Listens on 127.0.0.1, port 0, with kernel-assigned passive ports. Serves
--root read/write to anonymous and to the --user/--password account. Prints
"PORT <port>" on its first line, then serves until it is killed or --lifetime
runs out.

Remote base names that misbehave on purpose:
  cut-*        RETR sends half of the bytes (at least 1 of a non-empty file),
               drops the data connection and replies 426
  breakoff-*   STOR keeps at most 64 KiB, drops the data connection and
               replies 426 (also when the client sent less)
Everything else behaves normally.
"""

import argparse
import logging
import os
import sys
import threading
import time
import warnings

# asyncore and asynchat, which pyftpdlib builds on, are deprecated; and
# anonymous write access, which the upload tests need, draws a warning.
warnings.simplefilter("ignore")

from pyftpdlib.authorizers import DummyAuthorizer  # noqa: E402
from pyftpdlib.handlers import DTPHandler, FTPHandler  # noqa: E402
from pyftpdlib.ioloop import RetryError  # noqa: E402
from pyftpdlib.servers import FTPServer  # noqa: E402

PERMISSIONS = "elradfmwMT"
BREAKOFF_LIMIT = 64 * 1024
ABORTED = "426 Connection closed; transfer aborted."


class HalfProducer:
    """Passes on the first `limit` bytes of another producer, then ends."""

    def __init__(self, producer, limit):
        self.producer = producer
        self.left = limit

    def more(self):
        if self.left <= 0:
            return b""
        data = self.producer.more()[:self.left]
        self.left -= len(data)
        return data


class DataHandler(DTPHandler):
    def __init__(self, sock, cmd_channel):
        # Set before the base constructor, which may already close the channel.
        self.cut_short = False
        self.break_off = False
        self.kept = 0
        super().__init__(sock, cmd_channel)

    def named(self, prefix):
        return self.file_obj is not None and \
            os.path.basename(self.file_obj.name).startswith(prefix)

    def use_sendfile(self):
        # sendfile() would send the whole file past the producer that halves it.
        return not self.cut_short and super().use_sendfile()

    def push_with_producer(self, producer):
        # Only RETR pushes a producer with a file attached.
        if not self.receive and self.named("cut-"):
            self.cut_short = True
            left = os.fstat(self.file_obj.fileno()).st_size - self.file_obj.tell()
            producer = HalfProducer(producer, max(1, left // 2) if left > 0 else 0)
        super().push_with_producer(producer)

    def enable_receiving(self, type, cmd):
        super().enable_receiving(type, cmd)
        self.break_off = cmd == "STOR" and self.named("breakoff-")

    def handle_read(self):
        if not self.break_off:
            return super().handle_read()
        try:
            chunk = self.recv(self.ac_in_buffer_size)
        except RetryError:
            return
        except OSError:
            return self.handle_error()
        if not chunk:
            return  # recv() has already called handle_close()
        self.tot_bytes_received += len(chunk)
        keep = chunk[:BREAKOFF_LIMIT - self.kept]
        self.file_obj.write(keep)
        self.kept += len(keep)
        if self.kept >= BREAKOFF_LIMIT:
            self.abort()

    # The base class binds this alias to its own handle_read.
    handle_read_event = handle_read

    def handle_close(self):
        # Whatever ends these transfers, the client must hear of a failure.
        if (self.cut_short or self.break_off) and not self._closed:
            self.abort()
        else:
            super().handle_close()

    def abort(self):
        self.transfer_finished = False
        # close() drops the data connection first, then sends the reply.
        self._resp = (ABORTED, logging.getLogger("pyftpdlib").warning)
        self.close()

    def close(self):
        # A data connection that is reset before pyftpdlib takes it up would
        # leave a queued RETR or STOR unanswered until the idle timeout.
        unused = not self._closed and not self._initialized and not self._resp
        super().close()
        if unused:
            self.cmd_channel.drop_queued_transfer()


class Handler(FTPHandler):
    dtp_handler = DataHandler
    banner = "Orvex test FTP server ready."
    # A wrong password is answered at once; the tests need no brute-force delay.
    auth_failed_timeout = 0

    def drop_queued_transfer(self):
        if not self.connected or self.data_channel is not None:
            return
        out_queue = getattr(self, "_out_dtp_queue", None)
        in_queue = getattr(self, "_in_dtp_queue", None)
        if out_queue is None and in_queue is None:
            return
        file = out_queue[2] if out_queue is not None else in_queue[0]
        if file is not None:
            file.close()
        self._out_dtp_queue = self._in_dtp_queue = None
        self.respond("425 Can't open data connection.")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default=None)
    parser.add_argument("--password", default="")
    parser.add_argument("--lifetime", type=float, default=900.0)
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()

    # Quiet unless something breaks; pyftpdlib logs every command otherwise.
    logging.basicConfig(stream=sys.stderr, format="ftp_server: %(message)s",
                        level=logging.DEBUG if args.verbose else logging.ERROR)

    root = os.path.realpath(args.root)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root, perm=PERMISSIONS)
    if args.user:
        authorizer.add_user(args.user, args.password, root, perm=PERMISSIONS)
    Handler.authorizer = authorizer

    server = FTPServer(("127.0.0.1", 0), Handler)

    def serve():
        # Errors inside a connection are handled by pyftpdlib; keep the loop
        # alive even if one escapes.
        while True:
            try:
                server.serve_forever(timeout=1.0, handle_exit=False)
            except Exception:
                logging.getLogger("pyftpdlib").exception("serve loop")
            time.sleep(0.1)

    threading.Thread(target=serve, daemon=True).start()
    sys.stdout.write("PORT %d\n" % server.address[1])
    sys.stdout.flush()
    time.sleep(args.lifetime)


if __name__ == "__main__":
    main()
