"""What the end-to-end runs of tembrix-clockwarden share: waiting and checking, the HR service's
stand-in, one run of the program, and the run's fresh XDG root with readers of the program's
files (log, database, preferences, keyring)."""

import argparse
import glob
import json
import os
import re
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import urllib.request

import dbus

SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")
UUID = r"[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"
# The task picked before starting: the stand-in's first project.
TASK = ("101", "Website redesign")
TOKEN_ITEM = ["service", "com.tembrix.clockwarden", "account", "auth_tokens", "kind", "authTokens"]


class Failure(Exception):
    pass


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.1)


def check(condition, what):
    if not condition:
        raise Failure(what)
    print(f"  ok: {what}", flush=True)


def header(request, name):
    for key, value in request.get("headers", []):
        if key.lower() == name:
            return value
    return ""


def run(*command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kwargs).stdout



def bus_has(name):
    try:
        return bool(dbus.SessionBus().name_has_owner(name))
    except dbus.DBusException:
        return False


class StandIn:
    """The HR service's stand-in program, driven through its /__control/ calls."""

    def __init__(self, program, root):
        self.program = program
        self.root = root
        self.process = None
        self.base_url = None
        self.origin = None

    def start(self):
        self.process = subprocess.Popen(
            [self.program], stdout=subprocess.PIPE, text=True,
            stderr=open(os.path.join(self.root, "stand-in.log"), "w"))
        line = self.process.stdout.readline().strip()
        if not line.startswith("listening "):
            raise Failure("the stand-in did not start")
        self.base_url = line.split(" ", 1)[1]
        self.origin = self.base_url.split("/api/", 1)[0]

    def control(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.origin + "/__control/" + path, data=data,
                                         method=method)
        with urllib.request.urlopen(request, timeout=10) as answer:
            text = answer.read()
        return json.loads(text) if text else None

    def set_configuration(self, **fields):
        configuration = self.control("GET", "scenario")["configuration"]
        configuration.update(fields)
        self.control("POST", "scenario", {"configuration": configuration})

    def requests(self):
        return self.control("GET", "requests")["requests"]

    def connection_answer(self):
        """"accepted", "refused", or "other" for a connection caught while the port closes."""
        host, port = self.origin.split("://", 1)[1].split(":")
        try:
            socket.create_connection((host, int(port)), timeout=2).close()
            return "accepted"
        except ConnectionRefusedError:
            return "refused"
        except OSError:
            return "other"

    def accepts_connections(self):
        return self.connection_answer() == "accepted"

    def refuse_connections(self):
        # The port closes until resume(); the control calls cannot end it, they share the port.
        self.process.send_signal(signal.SIGUSR1)
        wait_for(lambda: self.connection_answer() == "refused", 10,
                 "the stand-in to refuse connections")

    def resume(self):
        self.process.send_signal(signal.SIGUSR2)
        wait_for(self.accepts_connections, 10, "the stand-in to listen again")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(5)



class ProgramRun:
    """One run of tembrix-clockwarden, its output kept in the artifacts."""

    def __init__(self, path, root, artifacts, run_number):
        self.path = path
        self.root = root
        self.artifacts = artifacts
        self.output_path = os.path.join(artifacts, f"program-{run_number}.out")
        self.process = None

    def start(self):
        with open(self.output_path, "a") as output:
            self.process = subprocess.Popen([self.path], stdout=output, stderr=subprocess.STDOUT)

    def thread_names(self):
        names = []
        for comm in glob.glob(f"/proc/{self.process.pid}/task/*/comm"):
            try:
                with open(comm) as file:
                    names.append(file.read().strip())
            except OSError:  # the thread ended meanwhile
                pass
        return names

    def output(self):
        with open(self.output_path, errors="replace") as file:
            return file.read()

    def wait(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not end within {timeout} s")

    def terminate(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.wait(10)

    def crash(self):
        self.process.send_signal(signal.SIGKILL)
        return self.process.wait(10)

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()



class RunBase:
    """A fresh XDG root and home, the artifacts folder, the stand-in, and the program's files."""

    program_class = ProgramRun
    # Files of the desktop's parts in the root that collect() keeps.
    root_logs = ("stand-in.log",)

    def __init__(self, args, prefix):
        self.args = args
        self.artifacts = os.path.abspath(args.artifacts)
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)
        self.root = tempfile.mkdtemp(prefix=prefix)
        for variable, folder in (("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                                 ("XDG_STATE_HOME", "state"), ("XDG_CACHE_HOME", "cache"),
                                 ("XDG_RUNTIME_DIR", "runtime"), ("HOME", "home")):
            path = os.path.join(self.root, folder)
            os.makedirs(path, mode=0o700)
            os.environ[variable] = path
        os.environ.pop("TEMBRIX_API_BASE_URL", None)
        self.config_dir = os.path.join(self.root, "config", "TembrixClockwarden")
        self.state_dir = os.path.join(self.root, "state", "TembrixClockwarden")
        self.data_dir = os.path.join(self.root, "data", "TembrixClockwarden")
        self.stand_in = StandIn(args.server, self.root)
        self.programs = []

    def start_stand_in(self):
        """The stand-in with a company that captures every minute and asks after an idle minute,
        stored as the program's endpoint."""
        self.stand_in.start()
        self.stand_in.set_configuration(screenshot_interval_minutes=1, idle_minutes_threshold=1,
                                        idle_action="ask", latest_client_version_linux="1.4.3",
                                        app_timezone="UTC")
        self.store_endpoint()

    def finish(self):
        """Ends what is left of the run and keeps its files."""
        for program in self.programs:
            program.kill()
        self.collect()
        self.stand_in.stop()

    def new_program(self):
        program = self.program_class(self.args.app, self.root, self.artifacts,
                                     len(self.programs) + 1)
        self.programs.append(program)
        return program

    def store_endpoint(self):
        os.makedirs(self.config_dir, exist_ok=True)
        with open(os.path.join(self.config_dir, "preferences.ini"), "w") as file:
            file.write(f"[General]\ncom.tembrix.clockwarden.apiBaseURL={self.stand_in.base_url}\n")

    def app_log(self):
        path = os.path.join(self.state_dir, "logs", "app.log")
        if not os.path.exists(path):
            return ""
        with open(path, errors="replace") as file:
            return file.read()

    def idle_pauses(self):
        return self.app_log().count("Tracking paused")

    def wait_for_idle_pause(self, pauses_before):
        """The program polls the idle time every 5 s, so it notices the idle minute up to 5 s
        after the threshold: a move before its pause would race the poll."""
        wait_for(lambda: self.idle_pauses() > pauses_before, 20, "the program's idle pause")

    def secret_item(self):
        found = subprocess.run(["secret-tool", "lookup", *TOKEN_ITEM], capture_output=True)
        return found.returncode == 0

    def query(self, statement, *parameters):
        """Rows of the program's database, read without writing to it."""
        path = os.path.join(self.data_dir, "clockwarden.sqlite")
        if not os.path.exists(path):
            return []
        connection = sqlite3.connect(f"file:{path}?mode=ro", uri=True, timeout=10)
        try:
            connection.row_factory = sqlite3.Row
            return [dict(row) for row in connection.execute(statement, parameters)]
        finally:
            connection.close()

    def heartbeat_marker(self, session_id):
        """The session's heartbeat marker from preferences.ini, in seconds since the epoch."""
        with open(os.path.join(self.config_dir, "preferences.ini")) as file:
            found = re.search(r"^com\.tembrix\.clockwarden\.heartbeat\." + session_id.lower()
                              + r"=(.+)$", file.read(), re.MULTILINE)
        return float(found.group(1)) if found else None

    def capture_files(self, session_id):
        pattern = os.path.join(self.data_dir, "captures", "*", session_id.upper() + "_*")
        return sorted(os.path.basename(path) for path in glob.glob(pattern))

    def requests_of(self, route, since=0):
        return [r for r in self.stand_in.requests()[since:] if r["path"].endswith(route)]


    def uploaded_parts(self, session):
        """The screenshot parts uploaded for the session, oldest first."""
        return [part for r in self.requests_of(f"sessions/{session}/screenshots")
                for part in r.get("parts", [])]

    def no_sanitizer_report(self):
        check(not any(mark in p.output() for p in self.programs for mark in SANITIZER_MARKS),
              "no sanitizer report from any run")

    def collect(self):
        if os.path.exists(os.path.join(self.state_dir, "logs", "app.log")):
            shutil.copy(os.path.join(self.state_dir, "logs", "app.log"), self.artifacts)
        try:
            if self.stand_in.process and not self.stand_in.accepts_connections():
                self.stand_in.resume()
            with open(os.path.join(self.artifacts, "requests.json"), "w") as file:
                json.dump(self.stand_in.requests(), file, indent=1)
        except Exception as error:  # the stand-in may be gone already
            print(f"no request log: {error}")
        for name in self.root_logs:
            if os.path.exists(os.path.join(self.root, name)):
                shutil.copy(os.path.join(self.root, name), self.artifacts)


def run_main(run_class, doc, needs_bus=True):
    """The drivers' command line: --app, --server, --artifacts; status 1 on a failure. A driver
    that brings no desktop bus of its own runs inside a private one."""
    parser = argparse.ArgumentParser(description=doc.split("\n\n")[0])
    parser.add_argument("--app", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--artifacts", required=True)
    args = parser.parse_args()
    if needs_bus and not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        print("run inside a private bus: tests/support/with-private-bus", file=sys.stderr)
        return 2
    try:
        run_class(args).run()
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        return 1
    print("end-to-end run passed")
    return 0
