#!/usr/bin/python3
"""End-to-end run of tembrix-clockwarden against the HR service's stand-in.

Each run gets its own Xvfb, openbox, private session bus with an unlocked gnome-keyring, a tray
host, a fresh XDG root, and the stand-in over HTTP stored as the company endpoint. Pictures of the
views, app.log, the program's output and the stand-in's request log go to --artifacts, kept on
success too. The scenarios form one chain, from the first start through a crash with queued work
and a restart to the tray's Quit, about three minutes in all.

    clockwarden_e2e.py --app PROGRAM --server STAND_IN --artifacts DIR

Run it inside a private bus (tests/support/with-private-bus); ctest does.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

import dbus

from e2e_support import (TASK, UUID, Failure, ProgramRun, RunBase, bus_has, check, header, run,
                         run_main, wait_for)

HERE = os.path.dirname(os.path.abspath(__file__))
# Queued work must reach the stand-in this soon after the program is back.
QUEUE_DRAIN_SECONDS = 90
WINDOW_SIZE = (460, 640)
# Where to click in the fixed-size window.
CLICKS = {
    "start": (110, 190),
    "task picker": (258, 295),
    "stop": (340, 322),
    "tracker": (57, 615),
    "summary": (172, 615),
    "screenshots": (287, 615),
    "settings": (402, 615),
    "first thumbnail": (85, 315),
    "second thumbnail": (211, 315),
    "resume": (230, 262),
    "check update": (93, 578),
    "logout": (70, 318),
    "confirm logout": (322, 349),
}


def tab_bar_shown(picture):
    """Whether a picture of the window has the tab bar's icons and labels along its bottom."""
    colours = run("convert", picture, "-crop", "460x36+0+600", "+repage", "-format", "%k", "info:")
    return int(colours) > 10


def while_busy(predicate):
    """A wait_for predicate that moves the pointer a little every 10 s, so that the session
    being waited on never goes idle."""
    moved = [time.monotonic()]

    def busy():
        if time.monotonic() - moved[0] > 10:
            run("xdotool", "mousemove_relative", "--", "3", "2")
            moved[0] = time.monotonic()
        return predicate()
    return busy


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


class Program(ProgramRun):
    """One run of tembrix-clockwarden on X11, its window found through its process id."""

    def __init__(self, *args):
        super().__init__(*args)
        self.window = None

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

    def capture(self, name, window=None):
        path = os.path.join(self.artifacts, name + ".png")
        # The window is drawn a moment after it is mapped; wait for the frame to settle.
        time.sleep(0.5)
        run("import", "-window", window or self.window, path)
        print(f"  picture: {path}", flush=True)
        return path

    def dialog(self):
        """The program's other mapped top-level window (a dialog or a message box), if any."""
        found = subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid),
             "--name", "."], capture_output=True, text=True).stdout.split()
        others = [window for window in found if window != self.window]
        return others[0] if others else None

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


class Run(RunBase):
    program_class = Program
    root_logs = ("xvfb.log", "openbox.log", "keyring.log", "stand-in.log")

    def __init__(self, args):
        super().__init__(args, "clockwarden-e2e-")
        os.environ["XDG_SESSION_TYPE"] = "x11"
        # libxkbcommon-x11 hands strndup a keymap name that is exactly n bytes long with no NUL;
        # ASan's strict string check would stop the program when Qt opens the X connection.
        if os.environ.get("ASAN_OPTIONS"):
            os.environ["ASAN_OPTIONS"] += ":strict_string_checks=0"
        os.environ.pop("WAYLAND_DISPLAY", None)
        self.desktop = Desktop(self.root)
        self.tray = Tray(self.desktop)

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

        wait_for(lambda: self.requests_of("/employees/config"), 30,
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

    def pick_task(self, program):
        program.click("task picker")
        # "No task" heads the list; the stand-in's first project comes next.
        time.sleep(0.5)
        run("xdotool", "key", "Home", "Down", "Return")
        time.sleep(0.5)

    def start_tracking(self, program):
        print("start tracking with a task", flush=True)
        self.pick_task(program)
        program.capture("03-task-picked")
        program.click("start")
        start = wait_for(lambda: self.requests_of("sessions/start"), 20, "sessions/start")[0]
        body = start.get("json") or {}
        print(f"    sessions/start body: {json.dumps(body)}")
        self.first_session = body.get("session_uuid", "")
        check(re.fullmatch(UUID, self.first_session),
              f"sessions/start carries an upper-case session UUID ({self.first_session})")
        check(body.get("task_id") == TASK[0], f"the session runs on task {TASK[0]} ({TASK[1]})")
        # Moves and key presses for the minute's activity counts (Shift does nothing in a view).
        for _ in range(10):
            run("xdotool", "mousemove_relative", "--", "4", "3")
            run("xdotool", "key", "shift")
        program.capture("03-tracker-active")

    def capture_uploaded(self):
        """The minute's capture, heartbeat and upload; the minute has passed in idle()."""
        print("the first minute's capture", flush=True)
        session = self.first_session

        def live_heartbeats():
            return [r for r in self.requests_of("sessions/heartbeat")
                    if (r.get("json") or {}).get("session_uuid") == session]
        beats = wait_for(live_heartbeats, 30, "the heartbeat of the first capture")
        counts = [(b["json"].get("mouse_movements", 0), b["json"].get("key_press_count", 0))
                  for b in beats]
        check(any(mouse > 0 and keys > 0 for mouse, keys in counts),
              f"a heartbeat counts the moves and key presses (mouse, keys: {counts})")

        parts = wait_for(lambda: self.uploaded_parts(session), 30, "the screenshot upload")
        upload = self.requests_of(f"sessions/{session}/screenshots")[0]
        check(header(upload, "content-type").startswith("multipart/form-data; boundary="),
              f"the capture is uploaded as multipart/form-data to {upload['path']}")
        name = parts[0].get("fileName", "")
        check(re.fullmatch(session + r"_\d{4}-\d\d-\d\dT\d\d-\d\d-\d\dZ_0\.jpg", name),
              f"the capture file is named by session, UTC company time and screen ({name})")
        check(parts[0].get("contentType") == "image/jpeg" and parts[0].get("size", 0) > 1000,
              f"the part is a JPEG of {parts[0].get('size')} bytes")
        check(self.capture_files(session) == [],
              "the uploaded capture file is gone from the captures folder")

    def stop_tracking(self, program):
        print("stop tracking", flush=True)
        program.click("stop")

        def completed():
            return [r for r in self.stand_in.requests()
                    if "completed" in json.dumps(r.get("json", ""))]
        found = wait_for(completed, 20, "a request marking the session completed")
        check(True, f"{found[0]['method']} {found[0]['path']} marks the session completed")
        history = wait_for(lambda: self.query(
            "SELECT project_id, project_name, started_at, stopped_at FROM session_history "
            "WHERE upper(id) = ?", self.first_session), 10, "the session's history row")
        check(history[0]["project_name"] == TASK[1]
              and history[0]["stopped_at"] > history[0]["started_at"],
              f"a history row for the stopped session ({history[0]})")
        check(self.query("SELECT id FROM sessions") == [], "no active session row is left")
        program.capture("05-tracker-stopped")

    def idle(self, program):
        print("idle", flush=True)
        # The pointer waits off the window, where a move opens no tool tip.
        run("xdotool", "mousemove", "1200", "850")
        # The company asks after one idle minute; nothing touches the display meanwhile.
        pauses = self.idle_pauses()
        time.sleep(60)
        self.wait_for_idle_pause(pauses)
        program.capture("04-idle-paused")
        # Xvfb makes raw motion only for relative moves.
        run("xdotool", "mousemove_relative", "--", "7", "5")

        window = wait_for(program.dialog, 20, "the idle question")
        check(True, "a move after the idle minute brings up the idle question")
        program.capture("04-idle-dialog", window)
        # Continue is the left one of the two buttons along the question's bottom edge.
        values = dict(line.split("=", 1) for line in
                      run("xdotool", "getwindowgeometry", "--shell", window).split())
        run("xdotool", "mousemove", "--window", window, str(int(values["WIDTH"]) // 4),
            str(int(values["HEIGHT"]) - 37), "click", "1")
        wait_for(lambda: program.dialog() is None, 10, "the idle question to close")
        check(True, "Continue closes the idle question")
        time.sleep(1)
        program.capture("04-tracking-again")

    def settings_while_tracking(self, program):
        print("Settings while tracking", flush=True)
        program.click("settings")
        # The pointer rests on Logout in both pictures, so only a reaction can tell them apart.
        x, y = CLICKS["logout"]
        run("xdotool", "mousemove", "--window", program.window, str(x), str(y))
        before = program.capture("05-settings-tracking")
        program.click("logout")
        after = program.capture("05-settings-tracking-logout-clicked")
        differing = subprocess.run(["compare", "-metric", "AE", "-fuzz", "2%", before, after,
                                    "null:"], capture_output=True, text=True).stderr.strip()
        check(differing == "0", f"Logout does nothing while tracking ({differing} pixels differ)")
        check(not self.requests_of("authentication/logout"), "no sign-out is sent")
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

        # The stand-in's second segment holds its sample and every capture uploaded so far.
        uploaded = sorted({part["fileName"] for r in self.stand_in.requests()
                           for part in r.get("parts", [])})
        expected = ["sample-screenshot.jpg"] + uploaded
        check(len(expected) > 1, f"the viewer will have {len(expected)} pictures to step through")
        before = len(self.stand_in.requests())

        def image_fetches():
            return [r["path"].rsplit("/", 1)[1] for r in self.stand_in.requests()[before:]
                    if r["path"].startswith("/files/")]
        program.click("second thumbnail")
        viewer = wait_for(program.dialog, 10, "the screenshot viewer")
        wait_for(lambda: len(image_fetches()) >= 1, 10, "the first picture's fetch")
        program.capture("06-viewer-first", viewer)
        # The step buttons have no shortcut: the focus starts on "next", Space presses it.
        run("xdotool", "windowactivate", "--sync", viewer)
        for step in range(2, len(expected) + 1):
            run("xdotool", "key", "space")
            wait_for(lambda: len(image_fetches()) >= step, 10, f"picture {step}'s fetch")
        program.capture("06-viewer-last", viewer)
        fetched = image_fetches()
        check(fetched == expected,
              f"the viewer stepped from 1 / {len(expected)} to {len(expected)} / {len(expected)}, "
              f"fetching each picture once in order ({fetched})")
        check(all(not header(r, "authorization") and not header(r, "x-app")
                  for r in self.stand_in.requests()[before:] if r["path"].startswith("/files/")),
              "pictures are fetched without the API's headers")
        run("xdotool", "key", "Escape")
        wait_for(lambda: program.dialog() is None, 10, "the viewer to close")

    def crash(self, program):
        print("crash with queued work", flush=True)
        program.click("tracker")
        since = len(self.stand_in.requests())
        self.stand_in.refuse_connections()
        # The task picked for the first session is still picked.
        program.click("start")
        sessions = wait_for(lambda: self.query("SELECT id, project_id FROM sessions"), 20,
                            "the active session row")
        session = sessions[0]["id"].upper()
        check(sessions[0]["project_id"] == TASK[0], f"session {session} runs on task {TASK[0]}")
        # The marker is written after a minute of ticks, the capture after a minute. Moves now
        # and then keep the session from going idle, so the crash finds its interval open.
        wait_for(while_busy(lambda: self.heartbeat_marker(session)), 90,
                 "the session's heartbeat marker")
        files = wait_for(lambda: self.capture_files(session), 30, "a capture file")
        check(all(re.fullmatch(session + r"_\d{4}-\d\d-\d\dT\d\d-\d\d-\d\dZ_0\.jpg", name)
                  for name in files), f"the capture waits on disk as {files}")
        program.capture("07-tracking-offline")

        queue = self.query("SELECT id, session_id, type, file_path, json_payload, status "
                           "FROM upload_queue")
        for row in queue:
            if isinstance(row["json_payload"], bytes):
                row["json_payload"] = row["json_payload"].decode()
        with open(os.path.join(self.artifacts, "07-upload-queue.json"), "w") as file:
            json.dump(queue, file, indent=1)
        check(any(row["type"] == "startSession" and row["session_id"].upper() == session
                  for row in queue),
              f"the session's start waits in the queue ({[row['type'] for row in queue]})")
        status = program.crash()
        check(status == -signal.SIGKILL, f"kill -9 ends the program (status {status})")
        marker = self.heartbeat_marker(session)
        stored = json.loads(self.query("SELECT payload FROM sessions WHERE upper(id) = ?",
                                       session)[0]["payload"])
        open_interval = stored["intervals"][-1]
        check("stoppedAt" not in open_interval, "the stored session has an open interval")

        self.stand_in.resume()
        print("restart after the crash", flush=True)
        program = self.new_program()
        program.start()
        restarted = time.monotonic()
        program.find_window()
        time.sleep(1)
        program.capture("07-unfinished-session")
        before = len(self.stand_in.requests())
        program.click("resume")
        wait_for(lambda: "Tracking resumed (interrupted session)" in self.app_log(), 10,
                 "the resume of the interrupted session")
        check(True, "Resume on \"Unfinished Session Found\" resumes the interrupted session")
        # The queue sends its own copy of the start as well, so Resume's is one more than that.
        queued_starts = len([row for row in queue if row["type"] == "startSession"])

        def starts(after=since):
            return [r for r in self.requests_of("sessions/start", after)
                    if r["json"]["session_uuid"] == session]
        # Resume's own start goes out at once; the queued copy waits for its retry time, so the
        # count of both is checked once the queue has drained.
        wait_for(lambda: starts(before), 30, "sessions/start after Resume")
        # Read at once, before anything below could close the new interval.
        intervals = json.loads(self.query("SELECT payload FROM sessions WHERE upper(id) = ?",
                                          session)[0]["payload"])["intervals"]
        closed = [i for i in intervals if i["id"] == open_interval["id"]]
        marker_text = time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(marker)) + \
            f".{round(marker * 1000) % 1000:03d}Z"
        check(closed and closed[0].get("stoppedAt") == marker_text,
              f"the interval the crash left open ends at the heartbeat marker {marker_text} "
              f"({closed})")
        check(len(intervals) == len(stored["intervals"]) + 1 and "stoppedAt" not in intervals[-1],
              "Resume opens a new interval")

        def arrived(row):
            requests = self.stand_in.requests()[since:]
            payload = json.loads(row["json_payload"]) if row["json_payload"] else None
            if row["type"] == "screenshot":
                name = os.path.basename(row["file_path"])
                return any(part.get("fileName") == name for r in requests
                           for part in r.get("parts", []))
            if row["type"] == "activitySegment":
                return any(r["path"].endswith("/segments/batch") for r in requests)
            route = {"startSession": "sessions/start", "heartbeat": "sessions/heartbeat"}
            if row["type"] in route:
                return any(r["path"].endswith(route[row["type"]]) and r.get("json") == payload
                           for r in requests)
            return True  # nothing sends metadata
        # Offline failures wait a minute before their retry, as long as the company's idle
        # minute: moves now and then keep the resumed session running for the Stop below.
        wait_for(while_busy(lambda: all(arrived(row) for row in queue)
                            and len(starts()) > queued_starts),
                 QUEUE_DRAIN_SECONDS - (time.monotonic() - restarted),
                 "every task queued before the crash to reach the stand-in")
        check(all(r["json"]["task_id"] == TASK[0] for r in starts()),
              f"Resume sends sessions/start again for {session} on task {TASK[0]} "
              f"({len(starts())} starts, {queued_starts} of them queued before the crash)")
        check(True, f"every queued task ({len(queue)}) reached the stand-in within "
                    f"{time.monotonic() - restarted:.0f} s of the restart")

        program.capture("07-resumed")
        program.click("stop")
        completion = wait_for(lambda: [r for r in self.requests_of("sessions/heartbeat", before)
                                       if r["json"]["session_uuid"] == session
                                       and r["json"]["status"] == "completed"], 20,
                              "the resumed session's completion")[0]["json"]
        sent = [i for i in completion["intervals"]
                if i["interval_uuid"] == open_interval["id"].upper()]
        marker_second = time.strftime("%Y-%m-%dT%H:%M:%S+00:00", time.gmtime(int(marker)))
        check(sent and sent[0]["stopped_at"] == marker_second,
              f"Stop completes the resumed session; the server hears the same end ({sent})")
        wait_for(lambda: all(any(part.get("fileName") == name for r in self.stand_in.requests()
                                 for part in r.get("parts", [])) for name in files),
                 QUEUE_DRAIN_SECONDS, "the capture the crash left on disk to be uploaded")
        check(True, "the capture the crash left on disk is uploaded after Stop")
        self.crashed_session = session
        return program

    def forced_update(self, program):
        print("forced update", flush=True)
        self.stand_in.set_configuration(latest_client_version_linux="9.9.9")
        program.click("settings")
        before = len(self.stand_in.requests())
        program.click("check update")
        wait_for(lambda: self.requests_of("/employees/config", before), 20,
                 "the configuration fetch of Check update")
        time.sleep(1)
        check(not tab_bar_shown(program.capture("08-update-required")),
              "\"Check update\" with 9.9.9 published shows the update page (no tabs)")
        self.stand_in.set_configuration(latest_client_version_linux="1.4.3")
        before = len(self.stand_in.requests())
        self.tray.click("Check for Updates…")
        wait_for(lambda: self.requests_of("/employees/config", before), 20,
                 "the configuration fetch of the tray's check")
        answer = wait_for(program.dialog, 10, "the update check's answer")
        program.capture("08-up-to-date", answer)
        run("xdotool", "windowactivate", "--sync", answer)
        run("xdotool", "key", "Return")
        wait_for(lambda: program.dialog() is None, 10, "the answer to close")
        check(tab_bar_shown(program.capture("08-main-page-again")),
              "the tray's \"Check for Updates…\" with 1.4.3 published brings the main page back")
        # Back to the top of Settings, which the check scrolled down.
        run("xdotool", "mousemove", "--window", program.window, "230", "300")
        for _ in range(10):
            run("xdotool", "click", "4")

    def sign_out(self, program):
        print("sign out", flush=True)
        # Only the configuration's refresh thread runs under Qt's default thread name.
        check(program.thread_names().count("QThread") == 1,
              "the configuration refresh thread runs while signed in")
        program.click("settings")
        program.capture("09-settings")
        program.click("logout")
        program.capture("09-logout-confirmation")
        program.click("confirm logout")
        wait_for(lambda: self.requests_of("authentication/logout"), 20, "authentication/logout")
        check(True, "authentication/logout is sent")
        wait_for(lambda: not self.secret_item(), 10, "the token item to go")
        check(True, "the token item is gone from the keyring")
        check(not os.path.exists(os.path.join(self.config_dir, "config.json")),
              "config.json is gone")
        program.capture("09-signed-out")
        wait_for(lambda: "QThread" not in program.thread_names(), 5,
                 "the configuration refresh thread to end")
        check(True, "the configuration refresh thread has ended")
        self.signed_out_at = len(self.stand_in.requests())

    def quit_from_tray(self, program):
        print("tray Quit with the window minimised", flush=True)
        run("xdotool", "windowminimize", "--sync", program.window)
        started = time.monotonic()
        self.tray.click("Quit")
        status = program.wait(5)
        check(status == 0, f"status 0 within 5 s (got {status} after "
                           f"{time.monotonic() - started:.1f} s)")
        check("exiting immediately" not in program.output() + self.app_log(),
              "no \"exiting immediately\" line")
        self.no_sanitizer_report()
        check(self.requests_of("/employees/config", self.signed_out_at) == [],
              "no configuration fetch after signing out")

    def run(self):
        try:
            self.desktop.start()
            self.start_stand_in()
            program = self.first_start()
            self.sign_in(program)
            self.start_tracking(program)
            self.idle(program)
            self.capture_uploaded()
            self.settings_while_tracking(program)
            self.stop_tracking(program)
            self.summary_and_screenshots(program)
            program = self.crash(program)
            self.forced_update(program)
            self.sign_out(program)
            self.quit_from_tray(program)
        finally:
            self.finish()
            self.desktop.stop()
            shutil.rmtree(self.root, ignore_errors=True)


def main():
    return run_main(Run, __doc__)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
