#!/usr/bin/env python3
"""switch_tap.py - a loopback relay between the terminal and the switch that
keeps a copy of every byte the switch sends, so a test can learn what the
answers carried (a voucher's enciphered charge PIN) without the switch or the
terminal writing it down.

  switch_tap.py FRAMES_FILE SWITCH_PORT

Listens on 127.0.0.1 (a free port), prints "tap listening on 127.0.0.1:N" and
relays each connection to 127.0.0.1:SWITCH_PORT until it is killed. FRAMES_FILE
gets the switch's bytes, connection after connection.
"""
import socket
import sys
import threading

lock = threading.Lock()


def pump(src, dst, copy):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            if copy is not None:
                with lock:
                    copy.write(data)
                    copy.flush()
            dst.sendall(data)
    except OSError:
        pass
    finally:
        # Pass the end on, so each side sees the other close.
        for s in (dst, src):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def serve(terminal, switch_port, copy):
    try:
        switch = socket.create_connection(("127.0.0.1", switch_port))
    except OSError:
        terminal.close()
        return
    threading.Thread(target=pump, args=(terminal, switch, None), daemon=True).start()
    pump(switch, terminal, copy)


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    copy = open(sys.argv[1], "ab")
    switch_port = int(sys.argv[2])
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print("tap listening on 127.0.0.1:%d" % listener.getsockname()[1], flush=True)
    while True:
        terminal, _ = listener.accept()
        threading.Thread(target=serve, args=(terminal, switch_port, copy), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
