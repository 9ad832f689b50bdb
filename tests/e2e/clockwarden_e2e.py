#!/usr/bin/python3
"""End-to-end run of tembrix-clockwarden against the HR service's stand-in.

Each run gets its own Xvfb, openbox, private session bus with an unlocked gnome-keyring, a tray
host, a fresh XDG root, and the stand-in over HTTP stored as the company endpoint. Pictures of the
views, app.log, the program's output and the stand-in's request log go to --artifacts, kept on
success too.

    clockwarden_e2e.py --app PROGRAM --server STAND_IN --artifacts DIR

Run it inside a private bus (tests/support/with-private-bus); ctest does.
"""

import argparse
import json
import re
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

import dbus

HERE = os.path.dirname(os.path.abspath(__file__))
WINDOW_SIZE = (460, 640)
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")
# Where to click in the fixed-size window.
CLICKS = {
    "start": (110, 190),
    "stop": (340, 294),
    "tracker": (57, 615),
    "summary": (172, 615),
    "screenshots": (287, 615),
    "settings": (402, 615),
    "first thumbnail": (85, 450),
    "logout": (70, 318),
    "confirm logout": (322, 349),
}
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


class Desktop:
    """Xvfb, openbox, gnome-keyring and the tray host, all ended by stop()."""

    def __init__(self, root):
        self.root = root
        self.processes = []
        self.tray_record = os.path.join(root, "tray-items")

    def start(self):
        read, write = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x900x24", "-nolisten", "tcp",
             "-noreset"], pass_fds=[write], stderr=open(os.path.join(self.root, "xvfb.log"), "w"))
        self.processes.append(xvfb)
        os.close(write)
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        os.environ["DISPLAY"] = ":" + number

        self.processes.append(subprocess.Popen(
            ["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.root, "openbox.log"), "w")))
        wait_for(lambda: subprocess.run(["wmctrl", "-m"], capture_output=True).returncode == 0,
                 10, "openbox")

        keyring = subprocess.Popen(
            ["gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.root, "keyring.log"), "w"))
        self.processes.append(keyring)
        keyring.stdin.write(b"clockwarden-e2e")
        keyring.stdin.close()
        wait_for(lambda: bus_has("org.freedesktop.secrets"), 10, "gnome-keyring")

        # Qt picks its D-Bus tray icon only when a host is there before the program starts.
        watcher = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(HERE, "sni_watcher.py"), self.tray_record],
            stdout=subprocess.PIPE, text=True)
        self.processes.append(watcher)
        if watcher.stdout.readline().strip() != "ready":
            raise Failure("the tray host did not start")

    def tray_items(self):
        if not os.path.exists(self.tray_record):
            return []
        with open(self.tray_record) as file:
            return [line.split() for line in file if line.strip()]

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


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

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(5)


class Program:
    """One run of tembrix-clockwarden, its window found through its process id."""

    def __init__(self, path, root, artifacts, run_number):
        self.path = path
        self.root = root
        self.artifacts = artifacts
        self.output_path = os.path.join(artifacts, f"program-{run_number}.out")
        self.process = None
        self.window = None

    def start(self):
        with open(self.output_path, "a") as output:
            self.process = subprocess.Popen([self.path], stdout=output, stderr=subprocess.STDOUT)

    def find_window(self, timeout=30):
        def mapped():
            if self.process.poll() is not None:
                raise Failure(f"the program ended early with status {self.process.returncode}")
            found = subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid)],
                capture_output=True, text=True).stdout.split()
            return found[0] if len(found) == 1 else None
        self.window = wait_for(mapped, timeout, "the program's window")
        return self.window

    def click(self, target):
        x, y = CLICKS[target]
        run("xdotool", "windowactivate", "--sync", self.window)
        run("xdotool", "mousemove", "--window", self.window, str(x), str(y), "click", "1")

    def geometry(self):
        values = dict(line.split("=", 1) for line in
                      run("xdotool", "getwindowgeometry", "--shell", self.window).split())
        return int(values["WIDTH"]), int(values["HEIGHT"])

    def capture(self, name):
        path = os.path.join(self.artifacts, name + ".png")
        # The window is drawn a moment after it is mapped; wait for the frame to settle.
        time.sleep(0.5)
        run("import", "-window", self.window, path)
        print(f"  picture: {path}", flush=True)
        return path

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

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class Tray:
    """The program's StatusNotifierItem and its com.canonical.dbusmenu menu."""

    def __init__(self, desktop):
        self.desktop = desktop

    def item(self):
        items = wait_for(self.desktop.tray_items, 10, "the tray item")
        name, path = items[-1]
        return dbus.SessionBus().get_object(name, path)

    def activate(self):
        self.item().Activate(0, 0, dbus_interface="org.kde.StatusNotifierItem")

    def menu(self):
        item = self.item()
        menu_path = item.Get("org.kde.StatusNotifierItem", "Menu",
                             dbus_interface=dbus.PROPERTIES_IFACE)
        return dbus.SessionBus().get_object(item.bus_name, menu_path)

    def labels(self):
        _, layout = self.menu().GetLayout(0, -1, [], dbus_interface="com.canonical.dbusmenu")
        entries = {}
        for child in layout[2]:
            number, properties, _ = child
            if "label" in properties:
                entries[str(properties["label"]).replace("&", "")] = int(number)
        return entries

    def click(self, label):
        entries = self.labels()
        if label not in entries:
            raise Failure(f"no tray menu entry {label!r} in {sorted(entries)}")
        self.menu().Event(entries[label], "clicked", dbus.String("", variant_level=1),
                          dbus.UInt32(0), dbus_interface="com.canonical.dbusmenu")


class Run:
    def __init__(self, args):
        self.args = args
        self.artifacts = os.path.abspath(args.artifacts)
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)
        self.root = tempfile.mkdtemp(prefix="clockwarden-e2e-")
        for variable, folder in (("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                                 ("XDG_STATE_HOME", "state"), ("XDG_CACHE_HOME", "cache"),
                                 ("XDG_RUNTIME_DIR", "runtime"), ("HOME", "home")):
            path = os.path.join(self.root, folder)
            os.makedirs(path, mode=0o700)
            os.environ[variable] = path
        os.environ.pop("TEMBRIX_API_BASE_URL", None)
        os.environ["XDG_SESSION_TYPE"] = "x11"
        # libxkbcommon-x11 hands strndup a keymap name that is exactly n bytes long with no NUL;
        # ASan's strict string check would stop the program when Qt opens the X connection.
        if os.environ.get("ASAN_OPTIONS"):
            os.environ["ASAN_OPTIONS"] += ":strict_string_checks=0"
        os.environ.pop("WAYLAND_DISPLAY", None)
        self.config_dir = os.path.join(self.root, "config", "TembrixClockwarden")
        self.state_dir = os.path.join(self.root, "state", "TembrixClockwarden")
        self.data_dir = os.path.join(self.root, "data", "TembrixClockwarden")
        self.desktop = Desktop(self.root)
        self.stand_in = StandIn(args.server, self.root)
        self.tray = Tray(self.desktop)
        self.programs = []

    def store_endpoint(self):
        os.makedirs(self.config_dir, exist_ok=True)
        with open(os.path.join(self.config_dir, "preferences.ini"), "w") as file:
            file.write(f"[General]\ncom.tembrix.clockwarden.apiBaseURL={self.stand_in.base_url}\n")

    def new_program(self):
        program = Program(self.args.app, self.root, self.artifacts, len(self.programs) + 1)
        self.programs.append(program)
        return program

    def app_log(self):
        path = os.path.join(self.state_dir, "logs", "app.log")
        if not os.path.exists(path):
            return ""
        with open(path, errors="replace") as file:
            return file.read()

    def secret_item(self):
        found = subprocess.run(["secret-tool", "lookup", *TOKEN_ITEM], capture_output=True)
        return found.returncode == 0

    def collect(self):
        if os.path.exists(os.path.join(self.state_dir, "logs", "app.log")):
            shutil.copy(os.path.join(self.state_dir, "logs", "app.log"), self.artifacts)
        try:
            with open(os.path.join(self.artifacts, "requests.json"), "w") as file:
                json.dump(self.stand_in.requests(), file, indent=1)
        except Exception as error:  # the stand-in may be gone already
            print(f"no request log: {error}")
        for name in ("xvfb.log", "openbox.log", "keyring.log", "stand-in.log"):
            if os.path.exists(os.path.join(self.root, name)):
                shutil.copy(os.path.join(self.root, name), self.artifacts)

    # Scenarios, chained: each starts from the state the one before left.

    def first_start(self):
        print("first start", flush=True)
        program = self.new_program()
        program.start()
        program.find_window()
        program.capture("01-sign-in")
        check(program.geometry() == WINDOW_SIZE,
              f"one window of {WINDOW_SIZE[0]}x{WINDOW_SIZE[1]} (got {program.geometry()})")
        wait_for(lambda: "Tembrix Clockwarden Linux 1.4.3 starting" in self.app_log(), 10,
                 "the start line in app.log")
        check(True, "app.log says \"Tembrix Clockwarden Linux 1.4.3 starting\"")
        lock = os.path.join(os.environ["XDG_RUNTIME_DIR"], "tembrix-clockwarden",
                            "tembrix-clockwarden.lock")
        check(os.path.exists(lock), "the lock file is there")
        wait_for(self.desktop.tray_items, 10, "the tray item")
        check(True, "the tray item is registered with the tray host, so no box asks for one")
        check(self.stand_in.requests() == [], "no request reached the stand-in while signed out")
        check(not self.secret_item(), "no token in the keyring")
        return program

    def sign_in(self, program):
        print("sign in", flush=True)
        run("xdotool", "windowactivate", "--sync", program.window)
        # The e-mail field holds the focus on a fresh sign-in page.
        run("xdotool", "type", "--delay", "20", "ada@example.com")
        run("xdotool", "key", "Tab")
        run("xdotool", "type", "--delay", "20", "correct horse")
        run("xdotool", "key", "Return")

        def paths():
            return [request["path"] for request in self.stand_in.requests()]
        wait_for(lambda: any(path.endswith("/employees/config") for path in paths()), 30,
                 "the configuration fetch after signing in")
        requests = self.stand_in.requests()
        sign_in = [r for r in requests if r["path"].endswith("authentication/singleLogin")]
        check(len(sign_in) == 1 and sign_in[0]["method"] == "POST",
              "one POST authentication/singleLogin")
        configuration = [r for r in requests if r["path"].endswith("/employees/config")]
        check(header(configuration[0], "authorization").startswith("Bearer "),
              "the configuration is fetched with the bearer token")
        wait_for(self.secret_item, 10, "the token item in the keyring")
        check(True, "the token item is in the keyring")
        for path in (os.path.join(self.config_dir, "config.json"),
                     os.path.join(self.data_dir, "last_login.json")):
            wait_for(lambda: os.path.exists(path), 10, path)
            check(True, f"{os.path.basename(path)} is written")
        time.sleep(1)
        program.capture("02-tracker-start")

    def start_tracking(self, program):
        print("start tracking", flush=True)
        program.click("start")
        wait_for(lambda: [r for r in self.stand_in.requests()
                          if r["path"].endswith("sessions/start")], 20, "sessions/start")
        start = [r for r in self.stand_in.requests() if r["path"].endswith("sessions/start")][0]
        print(f"    sessions/start body: {json.dumps(start.get('json'))}")
        text = json.dumps(start.get("json", {}))
        uuids = re.findall(r"[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-"
                           r"[0-9A-Fa-f]{12}", text)
        check(uuids and all(u == u.upper() for u in uuids),
              "sessions/start carries an upper-case session UUID")
        time.sleep(2)
        program.capture("03-tracker-active")

    def stop_tracking(self, program):
        print("stop tracking", flush=True)
        program.click("stop")

        def completed():
            return [r for r in self.stand_in.requests()
                    if "completed" in json.dumps(r.get("json", ""))]
        found = wait_for(completed, 20, "a request marking the session completed")
        check(True, f"{found[0]['method']} {found[0]['path']} marks the session completed")
        program.capture("05-tracker-stopped")

    def idle(self, program):
        print("idle", flush=True)
        # The pointer waits off the window, where a move opens no tool tip.
        run("xdotool", "mousemove", "1200", "850")
        # The company asks after one idle minute; nothing touches the display meanwhile.
        time.sleep(65)
        program.capture("04-idle-paused")
        # Xvfb makes raw motion only for relative moves.
        run("xdotool", "mousemove_relative", "--", "7", "5")

        def dialog():
            found = subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--pid", str(program.process.pid),
                 "--name", "^Tembrix Clockwarden$"], capture_output=True, text=True).stdout.split()
            others = [window for window in found if window != program.window]
            return others[0] if others else None
        window = wait_for(dialog, 20, "the idle question")
        check(True, "a move after the idle minute brings up the idle question")
        path = os.path.join(self.artifacts, "04-idle-dialog.png")
        time.sleep(0.5)
        run("import", "-window", window, path)
        print(f"  picture: {path}", flush=True)
        # Continue is the left one of the two buttons along the question's bottom edge.
        values = dict(line.split("=", 1) for line in
                      run("xdotool", "getwindowgeometry", "--shell", window).split())
        run("xdotool", "mousemove", "--window", window, str(int(values["WIDTH"]) // 4),
            str(int(values["HEIGHT"]) - 37), "click", "1")
        wait_for(lambda: dialog() is None, 10, "the idle question to close")
        check(True, "Continue closes the idle question")
        time.sleep(1)
        program.capture("04-tracking-again")

    def settings_while_tracking(self, program):
        print("Settings while tracking", flush=True)
        program.click("settings")
        program.capture("05-settings-tracking")
        program.click("tracker")

    def summary_and_screenshots(self, program):
        print("Summary and Screenshots", flush=True)
        program.click("summary")
        program.capture("06-summary")
        program.click("screenshots")

        def report_fetches():
            return [r for r in self.stand_in.requests() if "date=" in r.get("query", "")]
        fetch = wait_for(report_fetches, 20, "the screenshot report fetch")[0]
        check(True, f"Screenshots asks for {fetch['path']}?{fetch['query']}")
        program.capture("06-screenshots")
        program.click("first thumbnail")
        # The full picture is fetched when the viewer opens.
        time.sleep(2)
        program.capture("06-viewer")
        run("xdotool", "key", "Escape")

    def sign_out(self, program):
        print("sign out", flush=True)
        program.click("settings")
        program.capture("09-settings")
        program.click("logout")
        program.capture("09-logout-confirmation")
        program.click("confirm logout")
        wait_for(lambda: [r for r in self.stand_in.requests()
                          if r["path"].endswith("authentication/logout")], 20,
                 "authentication/logout")
        check(True, "authentication/logout is sent")
        wait_for(lambda: not self.secret_item(), 10, "the token item to go")
        check(True, "the token item is gone from the keyring")
        check(not os.path.exists(os.path.join(self.config_dir, "config.json")),
              "config.json is gone")
        program.capture("09-signed-out")

    def quit_from_tray(self, program):
        print("tray Quit with the window minimised", flush=True)
        run("xdotool", "windowminimize", "--sync", program.window)
        started = time.monotonic()
        self.tray.click("Quit")
        status = program.wait(5)
        check(status == 0, f"status 0 within 5 s (got {status} after "
                           f"{time.monotonic() - started:.1f} s)")
        output = program.output()
        check("exiting immediately" not in output + self.app_log(),
              "no \"exiting immediately\" line")
        check(not any(mark in output for mark in SANITIZER_MARKS), "no sanitizer report")

    def run(self):
        try:
            self.desktop.start()
            self.stand_in.start()
            self.stand_in.set_configuration(screenshot_interval_minutes=1,
                                            idle_minutes_threshold=1, idle_action="ask",
                                            latest_client_version_linux="1.4.3",
                                            app_timezone="UTC")
            self.store_endpoint()
            program = self.first_start()
            self.sign_in(program)
            self.start_tracking(program)
            self.idle(program)
            self.settings_while_tracking(program)
            self.stop_tracking(program)
            self.summary_and_screenshots(program)
            self.sign_out(program)
            self.quit_from_tray(program)
        finally:
            for program in self.programs:
                program.kill()
            self.collect()
            self.stand_in.stop()
            self.desktop.stop()
            shutil.rmtree(self.root, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--app", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--artifacts", required=True)
    args = parser.parse_args()
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        print("run inside a private bus: tests/support/with-private-bus", file=sys.stderr)
        return 2
    try:
        Run(args).run()
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        return 1
    print("end-to-end run passed")
    return 0


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
