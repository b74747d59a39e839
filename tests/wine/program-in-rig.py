#!/usr/bin/env python3
"""The Windows program under wine, in the discovery rig, finds two devices.

Runs inside tests/rig/rig.sh (program namespace, one link 10.201.1.1/24) and
tests/wine/wine-run.sh. It starts one text-protocol device and one
EtherNet/IP device in the rig's device namespace, then the program under
wine on the offscreen platform with Qt's log on standard error
(WINEQT_QPA_PLATFORM=offscreen, WINEQT_FORCE_STDERR_LOGGING=1), and checks
the log: the locale line, the run line of the rig's link, the own probes
dropped, and "Device added to the list" once for each device.

With --list, PROGRAM is the console companion: it runs
"PROGRAM --list --format csv --wait 2500", which must exit 0 and print both
devices as CSV rows on standard output, the log staying on standard error;
then "PROGRAM --watch --for 4 --format json", which must print a found
event for each device and exit 0; and PROGRAM without options, which has
no window and must print its usage and exit 2.

usage: program-in-rig.py [--list] [WINE] PROGRAM.exe [TIMEOUT-SECONDS]
"""

import json
import os
import re
import struct
import subprocess
import sys
import threading
import time

PROGRAM_ADDRESS = "10.201.1.1"
TEXT_DEVICE = "10.201.1.10"
ENIP_DEVICE = "10.201.1.20"
PRODUCT_NAME = b"Wine Rig Opener"


def identity_reply(address):
    """A ListIdentity reply holding one identity item."""
    ip = [int(part) for part in address.split(".")]
    item = struct.pack("<H", 1)  # encapsulation protocol version
    item += struct.pack(">hH4B8x", 2, 44818, *ip)  # socket address, big-endian
    item += struct.pack("<HHHBBHI", 1, 12, 3, 2, 5, 0, 0xA1B2C3)
    item += bytes([len(PRODUCT_NAME)]) + PRODUCT_NAME + bytes([3])
    cpf = struct.pack("<HHH", 1, 0x000C, len(item)) + item
    header = struct.pack("<HHII8sI", 0x0063, len(cpf), 0, 0, bytes(8), 0)
    return header + cpf


def fail(message, log):
    sys.stderr.write("program-in-rig.py: FAILED: %s\n--- program log ---\n%s\n" % (message, "\n".join(log)))
    sys.exit(1)


def main():
    args = sys.argv[1:]
    list_mode = bool(args) and args[0] == "--list"
    if list_mode:
        args.pop(0)
    wine = ["wine"]
    if args and not args[0].lower().endswith(".exe"):
        wine = [args.pop(0)]
    if not args:
        raise SystemExit(__doc__)
    program = args[0]
    timeout = float(args[1]) if len(args) > 1 else 120.0
    for name in ("RIG_DEV_NS", "RIG_DEVICES_PY"):
        if name not in os.environ:
            raise SystemExit("program-in-rig.py: run inside tests/rig/rig.sh")

    config = {"devices": [
        {"addr": TEXT_DEVICE, "port": 55555, "replies": [b"MAROVENDA wine rig".hex()]},
        {"addr": ENIP_DEVICE, "port": 44818, "replies": [identity_reply(ENIP_DEVICE).hex()]},
    ]}
    devices = subprocess.Popen(["ip", "netns", "exec", os.environ["RIG_DEV_NS"], "python3",
                                os.environ["RIG_DEVICES_PY"], "-"],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    devices.stdin.write(json.dumps(config) + "\n")
    devices.stdin.flush()
    ready = devices.stdout.readline()
    if '"ready"' not in ready:
        fail("the simulated devices did not start: " + ready, [])

    env = dict(os.environ, WINEQT_QPA_PLATFORM="offscreen", WINEQT_FORCE_STDERR_LOGGING="1")
    # The offscreen platform's fonts; Qt for Windows ships none.
    env.setdefault("WINEQT_QPA_FONTDIR", "Z:\\usr\\share\\fonts\\truetype\\dejavu")
    started = time.monotonic()
    if list_mode:
        check_list(wine + [program, "--list", "--format", "csv", "--wait", "2500"], env, devices, timeout)
        return
    program_run = subprocess.Popen(wine + [program], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, env=env)
    log = []
    added = []

    def read_log():
        for raw in program_run.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            log.append(line)
            if "Device added to the list" in line:
                added.append(line)

    reader = threading.Thread(target=read_log, daemon=True)
    reader.start()
    while len(added) < 2 and program_run.poll() is None and time.monotonic() - started < timeout:
        time.sleep(0.5)
    # A late duplicate would show up within another second.
    time.sleep(1)
    running = program_run.poll() is None
    program_run.terminate()
    program_run.wait()
    reader.join(5)
    devices.stdin.close()
    probes = [json.loads(line) for line in devices.stdout if line.startswith('{"probe"')]
    devices.wait()
    print("program-in-rig.py: %d log lines in %.1f s:" % (len(log), time.monotonic() - started))
    for line in log:
        print("    " + line)

    if not running:
        fail("the program ended by itself", log)
    if not any(line.startswith("System locale = QLocale(") for line in log):
        fail("no locale line", log)
    run_line = re.compile(r'^MainWindow::on_pushButton_find_clicked : "1\. 10\.201\.1\.255 to .*'
                          r'Etr\.IP: %s \|' % re.escape(PROGRAM_ADDRESS))
    if not any(run_line.match(line) for line in log):
        fail("no run line for the rig's link", log)
    for kind in ("DragonFrame", "Opener"):
        count = sum(1 for line in added if line.endswith("Device added to the list (%s)" % kind))
        if count != 1:
            fail("%d \"Device added to the list (%s)\" lines, expected 1" % (count, kind), log)
    # Its own broadcasts come back to it and are dropped by the own-address
    # test, which on Windows binds through winsock.
    for reader in ("readyRead", "readyRead_opener"):
        if not any(line.startswith("MainWindow::%s : Datagram from itself" % reader) for line in log):
            fail("MainWindow::%s did not drop the program's own probe" % reader, log)
    if not any('Product name = "%s"' % PRODUCT_NAME.decode() in line for line in log):
        fail("the EtherNet/IP device's product name was not logged", log)
    # The probes reached the devices from the program's own address.
    ports = {probe["probe"]["dport"] for probe in probes if probe["probe"]["src"] == PROGRAM_ADDRESS}
    if ports != {55555, 44818}:
        fail("the devices saw probes from %s on ports %s" % (PROGRAM_ADDRESS, sorted(ports)), log)
    print("program-in-rig.py: both devices listed; run line:",
          next(line for line in log if run_line.match(line)))


def check_list(command, env, devices, timeout):
    """The console companion prints the list, as on Linux, and exits 0;
    it watches, and it says how to use it when started without options."""
    run = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, env=env, timeout=timeout)
    watch = subprocess.run(command[:-5] + ["--watch", "--for", "4", "--format", "json"], stdin=subprocess.DEVNULL,
                           capture_output=True, env=env, timeout=timeout)
    bare = subprocess.run(command[:-5], stdin=subprocess.DEVNULL, capture_output=True, env=env, timeout=timeout)
    devices.stdin.close()
    devices.wait()
    check_watch(watch, bare)
    log = run.stderr.decode("utf-8", "replace").splitlines()
    out = run.stdout.decode("utf-8", "replace")
    print("program-in-rig.py: --list exited %d and printed:\n%s" % (run.returncode, out))
    if run.returncode != 0:
        fail("--list exited %d" % run.returncode, log)
    # Bytes as written: a CSV's line ends stay CRLF.
    if not run.stdout.startswith(b"\xef\xbb\xbfnumber,address,port,") or b"\r\r\n" in run.stdout:
        fail("standard output is not the CSV list", log)
    rows = out.split("\r\n")
    for prefix in ("%s,55555,text,MAROVENDA wine rig," % TEXT_DEVICE,
                   "%s,55555,EtherNet/IP,%s,1,12," % (ENIP_DEVICE, PRODUCT_NAME.decode())):
        if not any(row.split(",", 1)[-1].startswith(prefix) for row in rows):
            fail("no CSV row for " + prefix, log)


def check_watch(watch, bare):
    log = watch.stderr.decode("utf-8", "replace").splitlines()
    print("program-in-rig.py: --watch exited %d and printed:\n%s" % (watch.returncode, watch.stdout.decode()))
    if watch.returncode != 0:
        fail("--watch exited %d" % watch.returncode, log)
    events = [json.loads(line) for line in watch.stdout.decode("utf-8").splitlines() if line.strip()]
    found = sorted(event["address"] for event in events if event["event"] == "found")
    if found != sorted([TEXT_DEVICE, ENIP_DEVICE]):
        fail("--watch found %s" % found, log)
    if bare.returncode != 2 or b"--watch" not in bare.stderr:
        fail("without options it exited %d" % bare.returncode, bare.stderr.decode("utf-8", "replace").splitlines())


if __name__ == "__main__":
    main()
