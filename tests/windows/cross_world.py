#!/usr/bin/env python3
"""End to end across the two worlds: camprep.exe under Wine and the Linux
camprep, each against the Linux camsim on loopback with the same fleet.

Each world packs the same package (the Windows one under a Chinese file
name, twice over the same output), then pushes it, upgrades the firmware and
asks for the AI versions of the same six devices (plain, encrypted with
fragmented replies, version 3, a changed password, a connection that drops
once during the upgrade, no AI). The packages must be byte-identical, the
JSON results equal (address, port as the device's index, MAC, code, result,
attempts, versions; not the seconds), and what the devices received (the
configuration payloads and images camsim stores) byte-identical. Run as
root, both also search for three devices inside a private network
namespace (the search multicasts) and must list them alike.

    tests/windows/cross_world.py --camsim build/default/sim/camsim \\
        --camprep build/default/cli/camprep --camprep-exe build/windows/cli/camprep.exe

Exit status 0 when both worlds agree; the differences are printed otherwise.
"""
import argparse
import filecmp
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))

FLEET = {
    "defaults": {"softwareVer": "5.0.0.0", "behaviour": {"pieceDelayMs": 2, "writeImageMs": 0}},
    "devices": [
        {"devName": "plain"},
        {"devName": "encrypted", "greeting": {"encrypted": True, "digestMode": 2},
         "link": {"fragmentSize": 64}},
        {"devName": "legacy", "softwareVer": "3.4.2.1"},
        {"devName": "changed password", "password": "changed-on-site"},
        {"devName": "drops once", "faults": {"dropAt": 50, "dropTimes": 1}},
        {"devName": "no AI", "ai": None},
    ],
}

# Seconds a command may take before the run counts as hung.
COMMAND_LIMIT = 180


class Failure(Exception):
    pass


def run(command, limit=COMMAND_LIMIT):
    try:
        done = subprocess.run(command, capture_output=True, timeout=limit, check=False)
    except subprocess.TimeoutExpired:
        raise Failure("no end within %d s: %s" % (limit, " ".join(command)))
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


class Camsim:
    """camsim with the fleet, every device on its own loopback address at a
    port of the system's choice, no search; stopped by SIGTERM."""

    def __init__(self, camsim, fleet, store):
        self.process = subprocess.Popen(
            [camsim, "--fleet", fleet, "--port", "0", "--no-search", "--store", store],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.devices = []  # "ADDRESS:PORT" by index
        for line in self.process.stdout:
            fields = line.split()
            if fields[:1] == ["device"]:
                self.devices.append(fields[3])
            if fields[:1] == ["ready"]:
                return
        raise Failure("camsim did not start: " + self.process.stderr.read())

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failure("camsim did not stop")


def normalised(results, devices):
    """The results by device index, without what depends on the run (the
    ports the system chose, the seconds)."""
    index = {device: i for i, device in enumerate(devices)}
    rows = []
    for row in results:
        row = dict(row)
        row["port"] = index.get("%s:%s" % (row["address"], row["port"]), "?")
        row.pop("seconds", None)
        rows.append(row)
    return sorted(rows, key=lambda r: str(r["port"]))


def world(name, camprep, camsim, work, package_args, pack_output):
    """Packs, then pushes, upgrades and asks for AI versions against a fresh
    camsim; returns the packed bytes, the results and the store folder."""
    fleet = os.path.join(work, "fleet.json")
    store = os.path.join(work, "store-" + name)
    outcome = {}
    # The same output twice: the second write replaces the first.
    for _ in range(2):
        code, _, err = run(camprep + ["fac", "pack"] + package_args + ["--output", pack_output])
        if code != 0:
            raise Failure("%s: fac pack exited %d: %s" % (name, code, err))
    with open(pack_output, "rb") as f:
        outcome["package"] = f.read()
    code, out, err = run(camprep + ["fac", "inspect", pack_output, "--json"])
    if code != 0:
        raise Failure("%s: fac inspect exited %d: %s" % (name, code, err))
    inspected = json.loads(out)
    inspected.pop("file")  # the name it was given
    outcome["inspect"] = inspected

    simulator = Camsim(camsim, fleet, store)
    try:
        devices = []
        for device in simulator.devices:
            devices += ["--device", device]
        commands = {
            "push": ["push", "--fac", os.path.join(work, "linux.fac")],
            "upgrade": ["upgrade", "--package",
                        os.path.join(SOURCE, "tests", "data", "fwbatch", "sw_250.pkg")],
            "ai-version": ["ai-version"],
        }
        for command, args in commands.items():
            code, out, err = run(camprep + args + ["--json"] + devices)
            try:
                results = normalised(json.loads(out), simulator.devices)
            except ValueError:
                raise Failure("%s: %s gave no JSON (exit %d): %s" % (name, command, code, err))
            outcome[command] = (code, results)
    finally:
        simulator.stop()
    outcome["store"] = store
    return outcome


# Inside a private network namespace (loopback and a veth pair, nothing
# else): camsim answers the search, and both camprep discover.
DISCOVER_SCRIPT = r"""
set -e
ip link set lo up
ip link add cw0 type veth peer name cw1
ip link set cw0 up
ip link set cw1 up
"$CAMSIM" --devices 3 --quiet >/dev/null &
sim=$!
trap 'kill $sim; wineserver -k 2>/dev/null || true' EXIT
mkdir "$WINEPREFIX"
# The namespace's own Wine server: Wine makes its sockets there.
wineserver -p </dev/null >/dev/null 2>&1
sleep 1
"$CAMPREP" discover --timeout 3 --json >"$WORK/discover-linux.json"
"$WINE_RUN" "$CAMPREP_EXE" discover --timeout 3 --json >"$WORK/discover-windows.json"
"""


def discover_in_namespace(args, work):
    """The search on both sides; None where no namespace can be made."""
    if os.geteuid() != 0 or shutil.which("unshare") is None:
        return None
    env = dict(os.environ, CAMSIM=args.camsim, CAMPREP=args.camprep,
               CAMPREP_EXE=args.camprep_exe, WINE_RUN=args.wine_run, WORK=work,
               WINEPREFIX=os.path.join(work, "wine-namespace"))
    try:
        done = subprocess.run(["unshare", "--net", "sh", "-c", DISCOVER_SCRIPT], env=env,
                              capture_output=True, timeout=COMMAND_LIMIT, check=False)
    except subprocess.TimeoutExpired:
        raise Failure("discover in a namespace: no end within %d s" % COMMAND_LIMIT)
    if done.returncode != 0:
        raise Failure("discover in a namespace failed: " + done.stderr.decode("utf-8"))
    found = {}
    for world_name in ("linux", "windows"):
        with open(os.path.join(work, "discover-%s.json" % world_name)) as f:
            found[world_name] = sorted(json.load(f), key=lambda d: d["mac"])
    return found


def differing_files(left, right):
    """Files that differ in bytes or exist on one side only, below two
    store folders; the records' JSON (times, ports) is left out."""
    differences = []
    comparison = filecmp.dircmp(left, right, ignore=["records.json", "devices.json"])
    pending = [("", comparison)]
    while pending:
        prefix, c = pending.pop()
        differences += [os.path.join(prefix, n) for n in c.left_only + c.right_only]
        _, mismatch, errors = filecmp.cmpfiles(c.left, c.right, c.common_files, shallow=False)
        differences += [os.path.join(prefix, n) for n in mismatch + errors]
        pending += [(os.path.join(prefix, n), sub) for n, sub in c.subdirs.items()]
    return differences


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--camsim", required=True)
    parser.add_argument("--camprep", required=True, help="the Linux camprep")
    parser.add_argument("--camprep-exe", required=True, help="the Windows camprep.exe")
    parser.add_argument("--wine-run", default=os.path.join(SOURCE, "scripts", "wine-run"))
    args = parser.parse_args()
    for path in (args.camsim, args.camprep, args.camprep_exe):
        if not os.path.exists(path):
            print("cross_world: %s is missing (build the default and windows presets)" % path)
            return 1

    work = tempfile.mkdtemp(prefix="camprep-cross-")
    try:
        with open(os.path.join(work, "fleet.json"), "w") as f:
            json.dump(FLEET, f)
        demo = os.path.join(SOURCE, "docs", "demo")
        package_args = ["--customer", "ACME", "--common", os.path.join(demo, "common.txt"),
                        "--product", "IPC-Bullet=" + os.path.join(demo, "ipc-bullet.txt"),
                        "--picture", "title_icon.png=" +
                        os.path.join(demo, "pictures", "title_icon.png")]
        linux = world("linux", [args.camprep], args.camsim, work, package_args,
                      os.path.join(work, "linux.fac"))
        windows = world("windows", [args.wine_run, args.camprep_exe], args.camsim, work,
                        package_args, os.path.join(work, "配置包-windows.fac"))

        problems = []
        found = discover_in_namespace(args, work)
        if found is None:
            print("cross_world: discover left out (a network namespace needs root)")
        elif len(found["linux"]) != 3 or found["linux"] != found["windows"]:
            problems.append("discover differs:\n  linux:   %s\n  windows: %s" %
                            (json.dumps(found["linux"]), json.dumps(found["windows"])))
        if linux["package"] != windows["package"]:
            problems.append("the packed packages differ")
        for key in ("inspect", "push", "upgrade", "ai-version"):
            if linux[key] != windows[key]:
                problems.append("%s differs:\n  linux:   %s\n  windows: %s" %
                                (key, json.dumps(linux[key]), json.dumps(windows[key])))
        files = differing_files(linux["store"], windows["store"])
        if files:
            problems.append("the devices received different bytes: " + ", ".join(files))
        upgraded = [r for r in linux["upgrade"][1] if r["result"] == "Upgraded successfully!"]
        if not upgraded or not any(r["attempts"] > 1 for r in upgraded):
            problems.append("the fleet did not exercise the upgrade (a success and a retry)")
        for problem in problems:
            print("cross_world: " + problem)
        if not problems:
            print("cross_world: push, upgrade and AI query agree on %d devices; packages and "
                  "received bytes identical%s" %
                  (len(FLEET["devices"]), "" if found is None else "; discover agrees"))
        return 1 if problems else 0
    except Failure as failure:
        print("cross_world: %s" % failure)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
