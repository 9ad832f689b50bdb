#!/usr/bin/python3
"""Footprint of the client beside a tiny Qt Widgets program, under the same Xvfb, openbox, bus,
keyring and tray host (those of the end-to-end run).

  idle  the client signed in and tracking against the stand-in, no input, window hidden (idle
        after 30 minutes, screenshots every 10): CPU (utime+stime), RSS, PSS, threads and
        wake-ups (context switches) over --seconds; the same for the tiny program; ratios.
  start time from start to the window mapped, --runs runs each, signed out and signed in with a
        cached configuration; median ratio to the tiny program.

Run it from a release build, inside a private bus:

  tests/support/with-private-bus bench/footprint/measure.py --build build/release [--seconds 300]
"""

import argparse
import os
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e"))
import clockwarden_e2e as e2e  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as file:
        fields = file.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def memory_kib(pid):
    values = {}
    with open(f"/proc/{pid}/smaps_rollup") as file:
        for line in file:
            parts = line.split()
            if parts[0] in ("Rss:", "Pss:"):
                values[parts[0][:-1]] = int(parts[1])
    return values["Rss"], values["Pss"]


def threads_and_switches(pid):
    threads = switches = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as file:
                for line in file:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
            threads += 1
        except FileNotFoundError:
            pass
    return threads, switches


def switches_by_thread(pid):
    """Context switches per thread name (threads of one name added up)."""
    counts = {}
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/comm") as file:
                name = file.read().strip()
            with open(f"/proc/{pid}/task/{task}/status") as file:
                for line in file:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        counts[name] = counts.get(name, 0) + int(line.split()[1])
        except FileNotFoundError:
            pass
    return counts


def sample(pid, seconds):
    cpu0, (_, switches0) = cpu_seconds(pid), threads_and_switches(pid)
    by_thread0 = switches_by_thread(pid)
    time.sleep(seconds)
    cpu1, (threads, switches1) = cpu_seconds(pid), threads_and_switches(pid)
    by_thread1 = switches_by_thread(pid)
    rss, pss = memory_kib(pid)
    busiest = sorted(((count - by_thread0.get(name, 0)) / seconds, name)
                     for name, count in by_thread1.items())[-3:]
    print(f"  wake-ups/s of the busiest threads: "
          + ", ".join(f"{name} {rate:.1f}" for rate, name in reversed(busiest)))
    return {"cpu_s": cpu1 - cpu0, "rss_kib": rss, "pss_kib": pss, "threads": threads,
            "wakeups_per_s": (switches1 - switches0) / seconds}


def time_to_mapped(command):
    started = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        while True:
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid",
                                    str(process.pid)], capture_output=True, text=True).stdout
            if found.strip():
                return time.monotonic() - started
            if process.poll() is not None:
                raise e2e.Failure(f"{command[0]} ended with status {process.returncode}")
            if time.monotonic() - started > 30:
                raise e2e.Failure(f"{command[0]} mapped no window in 30 s")
            time.sleep(0.005)
    finally:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def start_times(command, runs):
    return [time_to_mapped(command) for _ in range(runs)]


def report(name, client, tiny):
    print(f"{name}: client {client}, tiny {tiny}")
    for key in client:
        if tiny[key]:
            print(f"  {key}: ratio {client[key] / tiny[key]:.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--seconds", type=float, default=300)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--artifacts", default="/tmp/clockwarden-footprint")
    args = parser.parse_args()
    app = os.path.join(args.build, "src/app/tembrix-clockwarden")
    tiny = os.path.join(args.build, "bench/clockwarden-tiny-widgets")
    server = os.path.join(args.build, "tests/support/fake-hr-server/clockwarden-fake-hr-server")

    bench = e2e.Run(argparse.Namespace(app=app, server=server, artifacts=args.artifacts))
    try:
        bench.desktop.start()
        bench.stand_in.start()
        bench.stand_in.set_configuration(idle_minutes_threshold=30, screenshot_interval_minutes=10)
        bench.store_endpoint()

        signed_out = start_times([app], args.runs)
        tiny_starts = start_times([tiny], args.runs)

        program = bench.first_start()
        bench.sign_in(program)
        program.terminate()
        signed_in = start_times([app], args.runs)

        program = bench.new_program()
        program.start()
        program.find_window()
        program.click("start")
        e2e.wait_for(lambda: [r for r in bench.stand_in.requests()
                              if r["path"].endswith("sessions/start")], 20, "sessions/start")
        e2e.run("xdotool", "windowunmap", "--sync", program.window)
        time.sleep(5)
        client_idle = sample(program.process.pid, args.seconds)
        program.terminate()

        tiny_process = subprocess.Popen([tiny], stdout=subprocess.DEVNULL)
        time.sleep(5)
        window = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid",
                                 str(tiny_process.pid)], capture_output=True, text=True).stdout
        if window.strip():
            e2e.run("xdotool", "windowunmap", "--sync", window.split()[0])
        tiny_idle = sample(tiny_process.pid, args.seconds)
        tiny_process.terminate()
        tiny_process.wait()

        report(f"idle, tracking, {args.seconds:.0f} s", client_idle, tiny_idle)
        tiny_median = statistics.median(tiny_starts)
        for name, times in (("signed out", signed_out), ("signed in", signed_in)):
            median = statistics.median(times)
            print(f"start to window mapped, {name}: median {median * 1000:.0f} ms "
                  f"(runs {', '.join(f'{t * 1000:.0f}' for t in times)}); tiny median "
                  f"{tiny_median * 1000:.0f} ms; ratio {median / tiny_median:.2f}")
    finally:
        for program in bench.programs:
            program.kill()
        bench.stand_in.stop()
        bench.desktop.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
