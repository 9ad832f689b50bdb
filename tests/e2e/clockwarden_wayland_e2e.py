#!/usr/bin/python3
"""End-to-end run of tembrix-clockwarden on a real GNOME Shell Wayland desktop.

The desktop (tests/support/gnome: gnome-shell --headless --wayland --no-x11 with two virtual
monitors, the real portal, PipeWire, Mutter and an unlocked gnome-keyring) is the run's own, and so
are the XDG root and the stand-in. The program is used as a user would: keys and pointer through
Mutter's remote-desktop input, the portal's "Screen Share" dialog answered by keyboard. Pictures of
the views and of the monitors, app.log, the program's output, the desktop's logs and the stand-in's
request log go to --artifacts. A few minutes in all:

  first start (no tray host, as on GNOME without the AppIndicator extension), sign in, the grant
  through the dialog, tracking with screenshots of both monitors uploaded, an idle minute read from
  Mutter with the idle question, SIGTERM and a restart that needs no dialog, and a desktop whose
  portal has no ScreenCast, where the Shell's screenshot service refuses and the permission card
  shows.

    clockwarden_wayland_e2e.py --app PROGRAM --server STAND_IN --artifacts DIR
"""

import base64
import os
import re
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support", "gnome"))

import gnome_desktop  # noqa: E402
from e2e_support import (TASK, UUID, Failure, ProgramRun, RunBase, check, run,  # noqa: E402
                         run_main, wait_for)
from clockwarden_e2e import CLICKS, WINDOW_SIZE  # noqa: E402

MONITORS = 2
# Places in the window's content, as in CLICKS: the sign-in page's e-mail field.
EMAIL_FIELD = (227, 341)
# The Screen Recording row's "Open Settings" in Settings.
OPEN_SCREEN_SETTINGS = (362, 102)
# The tracker's card (the permission card) in a picture of the window, as x, y, width, height.
CARD_BOX = (19, 83, 429, 230)
# The first monitor's top bar, whose clock changes: left out when pictures are compared.
TOP_BAR = 40


def similarity(first, second):
    """The normalised root-mean-square distance of two pictures (0 the same), at the first's size."""
    size = run("identify", "-format", "%wx%h", first)
    answer = subprocess.run(["compare", "-metric", "RMSE", first, "(", second, "-resize",
                             size + "!", ")", "null:"], capture_output=True, text=True).stderr
    return float(re.search(r"\(([0-9.e-]+)\)", answer).group(1))


def crop(picture, box):
    x, y, width, height = box
    path = picture[:-4] + "-crop.png"
    run("convert", picture, "-crop", f"{width}x{height}+{x}+{y}", "+repage", path)
    return path


def differing_box(before, after, mask=None, top=TOP_BAR):
    """The box (x, y, width, height) where two pictures of a monitor differ, below `top` (the top
    bar, whose clock changes) and outside the mask box (a window whose content changes), or
    None."""
    masking = []
    if mask:
        x, y, width, height = mask
        masking = ["-fill", "black", "-draw",
                   f"rectangle {x},{y} {x + width - 1},{y + height - 1}"]
    box = run("convert", "(", before, *masking, ")", "(", after, *masking, ")", "-compose",
              "difference", "-composite", "-colorspace", "gray", "-threshold", "6%", "-crop",
              f"+0+{top}", "+repage", "-format", "%@", "info:").strip()
    found = re.fullmatch(r"(\d+)x(\d+)\+(\d+)\+(\d+)", box)
    if not found:
        return None
    width, height, x, y = map(int, found.groups())
    if width <= 1 or height <= 1:
        return None
    return x, y + top, width, height


class Program(ProgramRun):
    """One run of the program on the GNOME desktop; its window found in pictures of the screen."""

    def __init__(self, *args, desktop, bare):
        super().__init__(*args)
        self.desktop = desktop
        self.bare = bare  # pictures of the bare monitors, to find windows in
        self.frame = None  # (monitor, x, y, width, height) of the window with its decoration
        self.content = None  # (x, y) of the window's content on its monitor

    def pictures(self, prefix):
        return [self.desktop.picture(os.path.join(self.root, f"{prefix}-{n}.png"), n)
                for n in range(MONITORS)]

    def find_window(self, size=WINDOW_SIZE, timeout=60):
        """The new window of the given content size; Mutter places it, the program cannot."""
        def found():
            if self.process.poll() is not None:
                raise Failure(f"the program ended early with status {self.process.returncode}")
            for monitor, picture in enumerate(self.pictures("now")):
                box = differing_box(self.bare[monitor], picture,
                                    top=TOP_BAR if monitor == 0 else 0)
                if box and box[2] >= size[0] and box[3] >= size[1]:
                    return monitor, box
            return None
        monitor, (x, y, width, height) = wait_for(found, timeout, "the program's window")
        # Client-side decoration: an even margin left, right and below, a title bar above.
        margin = (width - size[0]) // 2
        self.frame = (monitor, x, y, width, height)
        self.content = (x + margin, y + height - margin - size[1])
        return self.frame

    def click(self, target):
        x, y = CLICKS[target] if isinstance(target, str) else target
        self.desktop.click(self.content[0] + x, self.content[1] + y, self.frame[0])
        time.sleep(0.3)

    def capture(self, name, box=None):
        """A picture of the window (or of a box of the monitor), kept in the artifacts."""
        time.sleep(0.5)
        monitor, x, y, width, height = box or self.frame
        whole = self.desktop.picture(os.path.join(self.root, "whole.png"), monitor)
        path = os.path.join(self.artifacts, name + ".png")
        run("convert", whole, "-crop", f"{width}x{height}+{x}+{y}", "+repage", path)
        print(f"  picture: {path}", flush=True)
        return path

    def capture_screens(self, name):
        paths = []
        for monitor in range(MONITORS):
            path = os.path.join(self.artifacts, f"{name}-monitor-{monitor}.png")
            self.desktop.picture(path, monitor)
            print(f"  picture: {path}", flush=True)
            paths.append(path)
        return paths

    def new_window(self, before):
        """A window that appeared since the pictures `before`, as (monitor, x, y, w, h), outside
        the program's main window, whose clock ticks. Only the first monitor has a top bar."""
        for monitor, picture in enumerate(self.pictures("dialog")):
            mask = self.frame[1:] if self.frame and self.frame[0] == monitor else None
            box = differing_box(before[monitor], picture, mask, TOP_BAR if monitor == 0 else 0)
            if box and box[2] > 100 and box[3] > 60:
                return (monitor,) + box
        return None

    def qt_platform(self):
        with open(f"/proc/{self.process.pid}/maps") as file:
            maps = file.read()
        return "wayland" if "libqwayland" in maps else "xcb" if "libqxcb" in maps else "?"


class Run(RunBase):
    root_logs = ("stand-in.log",)

    def __init__(self, args):
        super().__init__(args, "clockwarden-wayland-e2e-")
        self.desktop = gnome_desktop.GnomeDesktop(
            MONITORS, log_dir=os.path.join(self.artifacts, "desktop"))
        os.makedirs(self.desktop.log_dir)
        self.figures = {}
        self.bare = None

    def new_program(self):
        program = Program(self.args.app, self.root, self.artifacts, len(self.programs) + 1,
                          desktop=self.desktop, bare=self.bare)
        self.programs.append(program)
        return program

    def start_desktop(self):
        print("the GNOME desktop", flush=True)
        self.desktop.start()
        self.figures["desktop start-up"] = self.desktop.timings["start"]
        env = self.desktop.env
        # The program sees the desktop as on a user's GNOME Wayland login: no DISPLAY, no
        # QT_QPA_PLATFORM; the run's own XDG root and home.
        for key in ("DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM"):
            os.environ.pop(key, None)
        for key in ("DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS", "XDG_SESSION_TYPE",
                    "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP"):
            os.environ[key] = env[key]
        os.environ["WAYLAND_DISPLAY"] = os.path.join(env["XDG_RUNTIME_DIR"],
                                                     env["WAYLAND_DISPLAY"])
        os.environ["PIPEWIRE_RUNTIME_DIR"] = env["XDG_RUNTIME_DIR"]
        os.environ.pop("NO_AT_BRIDGE", None)
        gnome_desktop.unwind_fully_on_malloc(os.environ)
        self.bare = [self.desktop.picture(os.path.join(self.root, f"bare-{n}.png"), n)
                     for n in range(MONITORS)]

    # Scenarios, chained: each starts from the state the one before left.

    def first_start(self):
        print("first start", flush=True)
        program = self.new_program()
        started = time.monotonic()
        program.start()
        wait_for(lambda: "Wayland: using ScreenCast portal capturer" in self.app_log(), 60,
                 "the capturer's choice in app.log")
        check(program.qt_platform() == "wayland",
              "Qt runs on its wayland platform plugin with no QT_QPA_PLATFORM")
        check("WaylandIdleProvider: using Mutter IdleMonitor" in self.app_log(),
              "the idle time comes from Mutter's idle monitor")
        # No tray host on plain GNOME: the program says so in a box before its window.
        box = wait_for(lambda: program.new_window(self.bare), 60, "the box about the tray")
        program.capture("01-no-tray-box", box)
        check(True, "a box asks for the AppIndicator extension")
        # OK sits in the box's bottom-right corner.
        monitor, x, y, width, height = box
        self.desktop.click(x + width - 50, y + height - 30, monitor)
        program.find_window()
        self.figures["first window"] = time.monotonic() - started
        program.capture("01-sign-in")
        program.capture_screens("01-desktop")
        return program

    def sign_in(self, program):
        print("sign in", flush=True)
        program.click(EMAIL_FIELD)
        # The first key after the keyboard enters a window can be lost: Shift changes nothing.
        self.desktop.key("Shift_L")
        time.sleep(0.3)
        self.desktop.type_text("ada@example.com")
        self.desktop.key("Tab")
        self.desktop.type_text("correct horse")
        program.capture("02-sign-in-filled")
        self.desktop.key("Return")
        wait_for(lambda: self.requests_of("/employees/config"), 30,
                 "the configuration fetch after signing in")
        check(len(self.requests_of("authentication/singleLogin")) == 1,
              "one POST authentication/singleLogin")
        wait_for(self.secret_item, 10, "the token item in the keyring")
        check(True, "the token item is in gnome-keyring")
        time.sleep(1)
        program.capture("02-permissions-required")

    def grant(self, program):
        print("the screen-capture grant through the portal's dialog", flush=True)
        program.click("settings")
        program.capture("03-settings-no-grant")
        check(not os.path.exists(self.restore_token_file()) or not self.restore_token(),
              "no restore token is stored before the grant")
        started = time.monotonic()
        program.click(OPEN_SCREEN_SETTINGS)
        dialog = gnome_desktop.ShareDialog(self.desktop)
        dialog.wait()
        program.capture_screens("03-share-dialog")
        dialog.confirm()
        wait_for(lambda: "ScreenCast Start ok: 2 stream(s), restore_token=(set)" in self.app_log(),
                 30, "the portal's answer with both monitors")
        self.figures["grant (click to streams)"] = time.monotonic() - started
        check(True, "Share in the dialog gives two streams and a restore token")
        check(self.restore_token(), "the restore token is stored in preferences.ini")
        time.sleep(1)
        program.capture("03-settings-granted")

    def restore_token_file(self):
        return os.path.join(self.config_dir, "preferences.ini")

    def restore_token(self):
        with open(self.restore_token_file()) as file:
            found = re.search(r"^screencast_restore_token=(.+)$", file.read(), re.MULTILINE)
        return found.group(1) if found else None

    def start_tracking(self, program):
        print("start tracking with a task", flush=True)
        program.click("tracker")
        program.click("task picker")
        time.sleep(0.5)
        for key in ("Home", "Down", "Return"):
            self.desktop.key(key)
            time.sleep(0.1)
        time.sleep(0.5)
        program.click("start")
        start = wait_for(lambda: self.requests_of("sessions/start"), 20, "sessions/start")
        body = start[-1].get("json") or {}
        self.session = body.get("session_uuid", "")
        check(re.fullmatch(UUID, self.session) and body.get("task_id") == TASK[0],
              f"sessions/start for {self.session} on task {TASK[0]}")
        for _ in range(10):
            self.desktop.move_pointer(4, 3)
            self.desktop.key("Shift_L")
        program.capture("04-tracking")

    def idle(self, program):
        print("an idle minute, read from Mutter", flush=True)
        # The pointer waits on the other monitor, where a move opens no tool tip; the company asks
        # after one idle minute, and nothing touches the desktop meanwhile.
        self.desktop.point_at(400, 400, 1 - program.frame[0])
        pauses = self.idle_pauses()
        wait_for(lambda: self.desktop.idle_ms() >= 62000, 90, "Mutter's idle time to pass a minute")
        check(True, f"Mutter's idle monitor counts {self.desktop.idle_ms() / 1000:.0f} s idle")
        self.wait_for_idle_pause(pauses)
        check(True, "the program paused the session for the idle minute")
        program.capture("05-idle-paused")
        before = program.pictures("before-question")
        self.desktop.move_pointer(7, 5)
        check(self.desktop.idle_ms() < 2000, "a pointer move resets Mutter's idle time")
        question = wait_for(lambda: program.new_window(before), 45, "the idle question")
        check(True, "a move after the idle minute brings up the idle question "
                    f"(on monitor {question[0]} at {question[1]},{question[2]})")
        program.capture_screens("05-idle-question")
        # Continue is the left one of the two buttons along the question's bottom edge.
        monitor, x, y, width, height = question
        self.desktop.click(x + width // 4, y + height - 40, monitor)
        wait_for(lambda: program.new_window(before) is None, 10, "the idle question to close")
        check(True, "Continue closes the idle question")
        time.sleep(1)
        program.capture("05-tracking-again")

    def capture_uploaded(self, program):
        print("the minute's screenshots of both monitors", flush=True)
        session = self.session
        parts = wait_for(lambda: len(self.uploaded_parts(session)) >= MONITORS and
                         self.uploaded_parts(session), 60, "the screenshots' upload")
        names = sorted(part.get("fileName", "") for part in parts[:MONITORS])
        check(all(re.fullmatch(session + r"_\d{4}-\d\d-\d\dT\d\d-\d\d-\d\dZ_%d\.jpg" % n,
                               name) for n, name in enumerate(names)),
              f"one JPEG per monitor, named by session, time and screen ({names})")
        screens = program.capture_screens("06-screens-now")
        matched = set()
        for part in parts[:MONITORS]:
            path = os.path.join(self.artifacts, "06-uploaded-" + part["fileName"])
            with open(path, "wb") as file:
                file.write(base64.b64decode(part["dataBase64"]))
            size = run("identify", "-format", "%wx%h", path)
            check(size == "%dx%d" % gnome_desktop.MONITOR_SIZE,
                  f"{part['fileName']} is {size}, the monitor's size")
            # The screen has hardly changed since: the upload matches exactly one monitor.
            distances = [similarity(path, screen) for screen in screens]
            best = min(range(MONITORS), key=lambda n: distances[n])
            check(distances[best] < 0.08 and distances[1 - best] > distances[best] * 1.5,
                  f"{part['fileName']} shows monitor {best} (distances {distances})")
            matched.add(best)
        check(len(matched) == MONITORS, "the uploads show both monitors")
        beats = [r for r in self.requests_of("sessions/heartbeat")
                 if (r.get("json") or {}).get("session_uuid") == session]
        check(beats, f"the capture sends the live heartbeat ({len(beats)})")

    def restart_without_dialog(self, program):
        print("SIGTERM and a restart that needs no dialog", flush=True)
        program.process.send_signal(signal.SIGTERM)
        status = program.wait(20)
        check(status in (0, -signal.SIGTERM), f"SIGTERM ends the program (status {status})")
        token = self.restore_token()
        program = self.new_program()
        started = time.monotonic()
        program.start()
        dialog = gnome_desktop.ShareDialog(self.desktop)
        run_log = len(self.app_log())

        def streams_again():
            if dialog.frame() is not None:
                raise Failure("the Screen Share dialog came up again on restart")
            return "ScreenCast Start ok: 2 stream(s)" in self.app_log()[run_log:]
        wait_for(streams_again, 60, "the restored screen cast")
        self.figures["restart to streams (no dialog)"] = time.monotonic() - started
        check(True, "the restart gets both streams back with the stored token and no dialog")
        check(self.restore_token(),
              f"a restore token stays stored (the same one again: {self.restore_token() == token})")
        box = wait_for(lambda: program.new_window(self.bare), 60, "the box about the tray")
        monitor, x, y, width, height = box
        self.desktop.click(x + width - 50, y + height - 30, monitor)
        program.find_window()
        program.capture("07-restarted")
        left = self.query("SELECT id FROM sessions")
        check(True, "the restart finds " + ("the session SIGTERM interrupted, to resume" if left
                                            else "no session left open"))
        return program

    def shell_refusal(self, program):
        print("a portal without ScreenCast: the Shell's screenshot service refuses", flush=True)
        program.terminate()
        for pid in gnome_desktop.marked_pids(self.desktop.root):
            with open(f"/proc/{pid}/cmdline", "rb") as file:
                if file.read().split(b"\0")[0].endswith(b"/xdg-desktop-portal"):
                    os.kill(pid, signal.SIGTERM)
        bus = self.desktop.bus
        wait_for(lambda: not bus.name_has_owner("org.freedesktop.portal.Desktop"), 20,
                 "the portal to end")
        # A portal front end with no ScreenCast, as on GNOME without xdg-desktop-portal-gnome.
        portal = subprocess.Popen(
            ["/usr/bin/python3", "-m", "dbusmock", "org.freedesktop.portal.Desktop",
             "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings"],
            env=self.desktop.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.desktop.processes.append(("portal-without-screencast", portal))
        wait_for(lambda: bus.name_has_owner("org.freedesktop.portal.Desktop"), 20,
                 "the stand-in portal front end")
        program = self.new_program()
        run_log = len(self.app_log())
        program.start()
        box = wait_for(lambda: program.new_window(self.bare), 60, "the box about the tray")
        monitor, x, y, width, height = box
        self.desktop.click(x + width - 50, y + height - 30, monitor)
        program.find_window()
        check("using org.gnome.Shell.Screenshot capturer" in self.app_log()[run_log:],
              "without ScreenCast the program uses the Shell's screenshot service")
        program.capture("08-shell-capturer")
        # A SIGTERM that ends the program at once leaves the session to resume; an orderly one
        # leaves none, and Start begins a new one.
        program.click("resume" if self.query("SELECT id FROM sessions") else "start")
        wait_for(lambda: "Shell.Screenshot failed: Screenshot is not allowed"
                 in self.app_log()[run_log:], 90, "the first capture's refusal")
        check(True, "GNOME Shell refuses with AccessDenied (\"Screenshot is not allowed\")")
        time.sleep(1)
        card = program.capture("08-permission-card")
        distance = similarity(crop(card, CARD_BOX), crop(
            os.path.join(self.artifacts, "02-permissions-required.png"), CARD_BOX))
        # The earlier picture may hold the keyboard focus ring on "Open Settings".
        check(distance < 0.1,
              f"the tracker shows the permission card, as before the grant (distance {distance})")
        program.click("settings")
        program.capture("08-settings-refused")
        program.terminate()
        self.no_sanitizer_report()

    def run(self):
        try:
            self.start_desktop()
            self.start_stand_in()
            program = self.first_start()
            self.sign_in(program)
            self.grant(program)
            self.start_tracking(program)
            self.idle(program)
            self.capture_uploaded(program)
            program = self.restart_without_dialog(program)
            self.shell_refusal(program)
        finally:
            self.finish()
            try:
                self.desktop.stop()
                self.figures["desktop stop"] = self.desktop.timings["stop"]
            finally:
                shutil.rmtree(self.root, ignore_errors=True)
                print("figures: " + ", ".join(f"{name} {seconds:.1f} s"
                                              for name, seconds in self.figures.items()))


def main():
    return run_main(Run, __doc__, needs_bus=False)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
