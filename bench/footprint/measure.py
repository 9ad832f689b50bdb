#!/usr/bin/python3
"""Footprint of the client beside a tiny Qt Widgets program and Workrave (a break reminder that
watches input all day), under the same Xvfb, openbox, bus, keyring and tray host (those of the
end-to-end run), all in one run.

  start  time from start to the first window mapped, told by the X server's MapNotify
         (bench/footprint/map_watch.cpp), signed out and signed in with a cached configuration;
         client and tiny program alternate, the first pair of each kind is dropped as warm-up;
         --runs pairs are kept.
  steady each program with its window unmapped, no input, after --warm-up seconds: CPU
         (utime+stime), RSS, PSS, threads and wake-ups (context switches) per thread over
         --seconds. The client twice: signed in and idle, then tracking against the stand-in
         (idle after 30 minutes, screenshots every 10). Its first capture falls 60 s after the
         session starts: its CPU and RSS are reported apart, and the tracking sample begins
         --warm-up seconds after it.
  long   with --long-minutes M, the client keeps tracking and its RSS and PSS are read again
         M minutes after the session started.

Run it from a release build, inside a private bus, after bench/setup (which installs Workrave):

  tests/support/with-private-bus bench/footprint/measure.py --build build/release

--start-only measures the start times alone (no Workrave needed), in a minute or two.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e"))
import clockwarden_e2e as e2e  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")
FIRST_CAPTURE_S = 60


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


def threads(pid):
    """{tid: (name, context switches, CPU seconds)} of the process's threads."""
    found = {}
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/comm") as file:
                name = file.read().strip()
            switches = 0
            with open(f"/proc/{pid}/task/{task}/status") as file:
                for line in file:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
            with open(f"/proc/{pid}/task/{task}/stat") as file:
                fields = file.read().rsplit(")", 1)[1].split()
            found[task] = (name, switches, (int(fields[11]) + int(fields[12])) / TICKS)
        except (FileNotFoundError, ProcessLookupError):
            pass
    return found


def sample(pid, seconds):
    cpu0, before = cpu_seconds(pid), threads(pid)
    time.sleep(seconds)
    cpu1, after = cpu_seconds(pid), threads(pid)
    rss, pss = memory_kib(pid)
    per_thread = {}
    for tid, (name, switches, cpu) in after.items():
        _, switches0, cpu0_thread = before.get(tid, (name, 0, 0.0))
        rate, used = per_thread.get(name, (0.0, 0.0))
        per_thread[name] = (rate + (switches - switches0) / seconds, used + cpu - cpu0_thread)
    return {"seconds": seconds, "cpu_s": cpu1 - cpu0, "cpu_percent": 100 * (cpu1 - cpu0) / seconds,
            "rss_kib": rss, "pss_kib": pss, "threads": len(after),
            "wakeups_per_s": sum(rate for rate, _ in per_thread.values()),
            "per_thread": {name: {"wakeups_per_s": rate, "cpu_s": used}
                           for name, (rate, used) in sorted(per_thread.items(),
                                                            key=lambda item: -item[1][0])}}


def time_to_mapped(watch, command):
    answer = subprocess.run([watch, "--timeout", "30", "--", *command], capture_output=True,
                            text=True)
    if answer.returncode != 0:
        raise e2e.Failure(f"{command[0]}: {answer.stderr.strip()}")
    return float(answer.stdout) / 1000


def alternating_starts(watch, first, second, runs):
    """Start times of two programs started in turn; the first pair warms the caches and is
    dropped."""
    times = ([], [])
    for run in range(runs + 1):
        for index, command in enumerate((first, second)):
            measured = time_to_mapped(watch, command)
            if run > 0:
                times[index].append(measured)
    return times


def visible_windows(pid):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                          capture_output=True, text=True).stdout.split()


def unmap_all(pid):
    for window in visible_windows(pid):
        subprocess.run(["xdotool", "windowunmap", "--sync", window], check=False)


def steady_other(command, args, name):
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # Whatever window it shows at start (Workrave may show none) goes away before the sample.
        time.sleep(5)
        unmap_all(process.pid)
        time.sleep(args.warm_up)
        unmap_all(process.pid)
        print(f"sampling {name}", flush=True)
        return sample(process.pid, args.seconds)
    finally:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def wait_until(moment):
    left = moment - time.monotonic()
    if left > 0:
        time.sleep(left)


def client_steady(bench, args):
    """Signed in and idle, then tracking: the capture apart, the steady sample, the long run."""
    results = {}
    program = bench.new_program()
    program.start()
    program.find_window()
    e2e.run("xdotool", "windowunmap", "--sync", program.window)
    time.sleep(args.warm_up)
    print("sampling the client, signed in, not tracking", flush=True)
    results["client signed in, idle"] = sample(program.process.pid, args.seconds)

    e2e.run("xdotool", "windowmap", "--sync", program.window)
    before = len(bench.stand_in.requests())
    program.click("start")
    e2e.wait_for(lambda: bench.requests_of("sessions/start", before), 20, "sessions/start")
    started = time.monotonic()
    e2e.run("xdotool", "windowunmap", "--sync", program.window)
    pid = program.process.pid

    # The first capture, alone in a window around it; the tracking rate is subtracted below.
    wait_until(started + FIRST_CAPTURE_S - 15)
    cpu0 = cpu_seconds(pid)
    rss0, pss0 = memory_kib(pid)
    wait_until(started + FIRST_CAPTURE_S + 15)
    capture_window = time.monotonic() - (started + FIRST_CAPTURE_S - 15)
    capture_cpu = cpu_seconds(pid) - cpu0
    rss1, pss1 = memory_kib(pid)

    wait_until(started + FIRST_CAPTURE_S + args.warm_up)
    print("sampling the client, tracking", flush=True)
    tracking = sample(pid, args.seconds)
    results["client tracking"] = tracking
    rate = tracking["cpu_s"] / tracking["seconds"]
    results["capture"] = {"cpu_s": capture_cpu - rate * capture_window,
                          "rss_before_kib": rss0, "rss_after_kib": rss1,
                          "rss_after_steady_kib": tracking["rss_kib"],
                          "pss_before_kib": pss0, "pss_after_kib": pss1}
    if args.long_minutes:
        print(f"tracking on until {args.long_minutes} minutes", flush=True)
        wait_until(started + args.long_minutes * 60)
        rss, pss = memory_kib(pid)
        results["long"] = {"minutes": args.long_minutes, "rss_kib": rss, "pss_kib": pss}
    program.terminate()
    return results


def print_steady(name, result, reference):
    print(f"{name}: CPU {result['cpu_s']:.2f} s over {result['seconds']:.0f} s "
          f"({result['cpu_percent']:.3f} % of a core), RSS {result['rss_kib'] / 1024:.1f} MiB, "
          f"PSS {result['pss_kib'] / 1024:.1f} MiB, {result['threads']} threads, "
          f"{result['wakeups_per_s']:.2f} wake-ups/s")
    if reference and reference["cpu_s"]:
        print(f"  against Workrave: CPU {result['cpu_s'] / reference['cpu_s']:.2f}x, "
              f"RSS {result['rss_kib'] / reference['rss_kib']:.2f}x")
    for thread, values in result["per_thread"].items():
        print(f"    {thread:<18} {values['wakeups_per_s']:7.2f} wake-ups/s  "
              f"{values['cpu_s']:7.3f} s CPU")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--seconds", type=float, default=300)
    parser.add_argument("--warm-up", type=float, default=30)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--long-minutes", type=float, default=0,
                        help="read the tracking client's RSS again this long after its start")
    parser.add_argument("--artifacts", default="/tmp/clockwarden-footprint")
    parser.add_argument("--start-only", action="store_true",
                        help="measure the start times only, without Workrave or the steady samples")
    args = parser.parse_args()
    if args.seconds > 600 - args.warm_up - 30:
        parser.error("the tracking sample must end before the second capture")
    app = os.path.abspath(os.path.join(args.build, "src/app/tembrix-clockwarden"))
    tiny = os.path.abspath(os.path.join(args.build, "bench/clockwarden-tiny-widgets"))
    watch = os.path.abspath(os.path.join(args.build, "bench/clockwarden-map-watch"))
    server = os.path.join(args.build, "tests/support/fake-hr-server/clockwarden-fake-hr-server")
    workrave = "/usr/bin/workrave"
    if not args.start_only and not os.path.exists(workrave):
        parser.error("Workrave is missing: run bench/setup first")

    bench = e2e.Run(argparse.Namespace(app=app, server=server, artifacts=args.artifacts))
    results = {}
    try:
        bench.desktop.start()
        bench.stand_in.start()
        bench.stand_in.set_configuration(idle_minutes_threshold=30, screenshot_interval_minutes=10)
        bench.store_endpoint()

        load_before = os.getloadavg()
        print("start times, signed out", flush=True)
        signed_out, tiny_out = alternating_starts(watch, [app], [tiny], args.runs)
        program = bench.first_start()
        bench.sign_in(program)
        program.terminate()
        print("start times, signed in", flush=True)
        signed_in, tiny_in = alternating_starts(watch, [app], [tiny], args.runs)
        results["start"] = {"client signed out": (signed_out, tiny_out),
                            "client signed in": (signed_in, tiny_in)}
        results["load average"] = (load_before, os.getloadavg())
        if args.start_only:
            return print_start(results)

        results["tiny"] = steady_other([tiny], args, "the tiny program")
        results["Workrave"] = steady_other([workrave], args, "Workrave")
        results.update(client_steady(bench, args))
    finally:
        for program in bench.programs:
            program.kill()
        bench.stand_in.stop()
        bench.desktop.stop()

    with open(os.path.join(args.artifacts, "footprint.json"), "w") as file:
        json.dump(results, file, indent=1)

    print()
    workrave_result = results["Workrave"]
    for name in ("client tracking", "client signed in, idle", "Workrave", "tiny"):
        print_steady(name, results[name], workrave_result if name.startswith("client") else None)
    capture = results["capture"]
    print(f"first capture: {capture['cpu_s'] * 1000:.0f} ms CPU beyond the tracking rate; RSS "
          f"{capture['rss_before_kib'] / 1024:.1f} MiB before, "
          f"{capture['rss_after_kib'] / 1024:.1f} MiB 15 s after, "
          f"{capture['rss_after_steady_kib'] / 1024:.1f} MiB at the end of the tracking sample")
    if "long" in results:
        long = results["long"]
        print(f"after {long['minutes']:.0f} minutes of tracking: RSS {long['rss_kib'] / 1024:.1f} "
              f"MiB, PSS {long['pss_kib'] / 1024:.1f} MiB")
    return print_start(results)


def print_start(results):
    before, after = results["load average"]
    print("load average (1, 5, 15 min) before the start runs: "
          + ", ".join(f"{value:.2f}" for value in before) + "; after: "
          + ", ".join(f"{value:.2f}" for value in after))
    for name in ("client signed out", "client signed in"):
        times, tiny_times = results["start"][name]
        tiny_median = statistics.median(tiny_times)
        median = statistics.median(times)
        print(f"start to window mapped, {name}: median {median * 1000:.0f} ms "
              f"(runs {', '.join(f'{t * 1000:.0f}' for t in times)}); tiny median "
              f"{tiny_median * 1000:.0f} ms; ratio {median / tiny_median:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
