"""A private, headless GNOME Shell Wayland desktop for tests.

GnomeDesktop starts, under a temporary root: a private system bus with python3-dbusmock's logind,
a session bus that activates the installed services (the portal, its GNOME back end, the
permission store, the accessibility bus), PipeWire and WirePlumber, an unlocked gnome-keyring and
`gnome-shell --headless --wayland` with one or more virtual monitors. It holds one remote-desktop
session of Mutter's for the whole run (a session per command gives the seat a keyboard only
briefly), linked to a screen cast of every monitor: the streams place the pointer and take
pictures of the screen. stop() ends every process by PID: those it started and those the buses
activated, which all carry the marker variable CLOCKWARDEN_GNOME_DESKTOP in their environment.

Used by tests/support/gnome/with-gnome-session and by the Wayland end-to-end run.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)

MARKER = "CLOCKWARDEN_GNOME_DESKTOP"
MONITOR_SIZE = (1280, 800)
# How long the first calls to a shell that is still starting may take to be answered. A shell
# that has not answered by then has hung while starting (seen rarely on two busy cores, with no
# answer even after 120 s): start() then starts a new desktop.
STARTING_CALL_TIMEOUT_S = 60
START_ATTEMPTS = 2
# Linux input event codes for NotifyPointerButton.
BUTTON_LEFT = 0x110
KEYSYMS = {"Tab": 0xff09, "Return": 0xff0d, "Escape": 0xff1b, "space": 0x20, "BackSpace": 0xff08,
           "Home": 0xff50, "Down": 0xff54, "Up": 0xff52, "Shift_L": 0xffe1, "Control_L": 0xffe3, "ISO_Left_Tab": 0xfe20}


class DesktopError(Exception):
    pass


def unwind_fully_on_malloc(env):
    """Has a sanitized Qt program on this desktop record whole allocation stacks.

    Qt's Wayland plugin loads Mesa's driver for its window decorations; on AMD processors the
    driver keeps a once-allocated cache-topology buffer and is unloaded at exit, so the buffer
    shows as a leak. The fast unwinder stops inside the driver (built without frame pointers), so
    the stack never reaches libEGL_mesa, whose suppression would match it."""
    if env.get("ASAN_OPTIONS"):
        env["ASAN_OPTIONS"] += ":fast_unwind_on_malloc=0"


def wait_until(predicate, timeout, what, step=0.05):
    """Polls predicate, running the GLib main context meanwhile (D-Bus signals arrive there)."""
    deadline = time.monotonic() + timeout
    context = GLib.MainContext.default()
    while True:
        while context.iteration(False):
            pass
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise DesktopError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(step)


def bus_config(kind, folder, service_dirs):
    return f"""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>{kind}</type>
  <listen>unix:dir={folder}</listen>
  <auth>EXTERNAL</auth>
  {"<standard_session_servicedirs/>" if service_dirs else ""}
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
    <allow user="*"/>
  </policy>
</busconfig>
"""


def marked_pids(marker_value):
    """Processes whose environment carries the marker with this desktop's value."""
    wanted = f"{MARKER}={marker_value}".encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as file:
                if wanted in file.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            pass
    return found


def alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as file:
            return file.read().split(") ", 1)[1][0] != "Z"
    except (OSError, IndexError):
        return False


class GnomeDesktop:
    def __init__(self, monitors=1, xwayland=False, log_dir=None):
        self.monitors = monitors
        self.xwayland = xwayland
        self.given_log_dir = log_dir
        self.timings = {}
        self._fresh_root()

    def _fresh_root(self):
        """A new temporary root and no processes: the state before a start."""
        self.root = tempfile.mkdtemp(prefix="clockwarden-gnome-")
        os.chmod(self.root, 0o755)
        self.log_dir = self.given_log_dir or self.root
        self.processes = []
        self.env = None
        self.bus = None
        self.remote = None
        self.streams = []  # (connector, stream path, PipeWire node) per monitor

    # Start-up

    def _log(self, name):
        return open(os.path.join(self.log_dir, name + ".log"), "w")

    def _spawn(self, name, command, **kwargs):
        process = subprocess.Popen(command, env=self.env, stdout=kwargs.pop("stdout", None)
                                   or self._log(name), stderr=subprocess.STDOUT,
                                   start_new_session=True, **kwargs)
        self.processes.append((name, process))
        return process

    def _bus_daemon(self, kind, service_dirs):
        folder = os.path.join(self.root, kind + "-bus")
        os.mkdir(folder)
        config = os.path.join(self.root, kind + ".conf")
        with open(config, "w") as file:
            file.write(bus_config(kind, folder, service_dirs))
        read, write = os.pipe()
        self._spawn(kind + "-bus", ["dbus-daemon", "--config-file=" + config, "--nofork",
                                    "--nopidfile", f"--print-address={write}"], pass_fds=[write])
        os.close(write)
        with os.fdopen(read) as pipe:
            address = pipe.readline().strip()
        if not address:
            raise DesktopError(f"the private {kind} bus did not start")
        return address

    def start(self):
        started = time.monotonic()
        for attempt in range(1, START_ATTEMPTS + 1):
            try:
                self._start_once()
                break
            except (DesktopError, dbus.DBusException) as error:
                message = error.get_dbus_message() if isinstance(error, dbus.DBusException) \
                    else str(error)
                if attempt == START_ATTEMPTS:
                    raise DesktopError(message) from error
                print(f"gnome_desktop: the desktop did not start ({message}); its logs are kept "
                      f"as *.attempt{attempt}.log; starting a new one", file=sys.stderr, flush=True)
                self._discard(attempt)
        self.timings["start"] = time.monotonic() - started
        return self

    def print_log_tails(self, lines=15):
        for name in ("gnome-shell", "pipewire", "wireplumber", "session-bus"):
            path = os.path.join(self.log_dir, name + ".log")
            if os.path.exists(path):
                with open(path, errors="replace") as file:
                    sys.stderr.write(f"--- {name}.log\n" + "".join(file.readlines()[-lines:]))
        sys.stderr.flush()

    def _discard(self, attempt):
        """Ends a desktop that failed to start and readies a new root for the next attempt."""
        self.print_log_tails()
        try:
            self.stop()
        except DesktopError as error:
            print(f"gnome_desktop: {error}", file=sys.stderr, flush=True)
        if self.given_log_dir and os.path.isdir(self.log_dir):
            for name in os.listdir(self.log_dir):
                if name.endswith(".log") and ".attempt" not in name:
                    os.replace(os.path.join(self.log_dir, name),
                               os.path.join(self.log_dir, f"{name[:-4]}.attempt{attempt}.log"))
        self._fresh_root()

    def _start_once(self):
        runtime = os.path.join(self.root, "runtime")
        home = os.path.join(self.root, "home")
        for folder in (runtime, home):
            os.makedirs(folder, mode=0o700)
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("XDG_", "DBUS_", "WAYLAND_", "QT_", "PIPEWIRE_"))
               and key not in ("DISPLAY", "XAUTHORITY", "NO_AT_BRIDGE", "HOME")}
        env.update({
            MARKER: self.root, "HOME": home, "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_STATE_HOME": os.path.join(home, ".local", "state"),
            "XDG_SESSION_TYPE": "wayland", "XDG_CURRENT_DESKTOP": "GNOME",
            "XDG_SESSION_DESKTOP": "gnome", "WAYLAND_DISPLAY": "wayland-0",
            "GSETTINGS_BACKEND": "dconf", "LANG": "C.UTF-8",
        })
        # Sanitizer settings are for the program under test, not for the desktop.
        for key in ("ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "LD_PRELOAD"):
            env.pop(key, None)
        self.env = env

        env["DBUS_SYSTEM_BUS_ADDRESS"] = self._bus_daemon("system", False)
        self._spawn("logind", ["/usr/bin/python3", "-m", "dbusmock", "--system", "--template",
                               "logind"])
        # Activated services inherit the bus's environment, the marker included.
        env["DBUS_SESSION_BUS_ADDRESS"] = self._bus_daemon("session", True)
        self.bus = dbus.bus.BusConnection(env["DBUS_SESSION_BUS_ADDRESS"])
        system = dbus.bus.BusConnection(env["DBUS_SYSTEM_BUS_ADDRESS"])
        wait_until(lambda: system.name_has_owner("org.freedesktop.login1"), 20, "logind's stand-in")

        self._spawn("pipewire", ["pipewire"])
        wait_until(lambda: os.path.exists(os.path.join(runtime, "pipewire-0")), 20, "pipewire")
        self._spawn("wireplumber", ["wireplumber"])
        keyring = self._spawn("keyring", ["gnome-keyring-daemon", "--foreground", "--unlock",
                                          "--components=secrets"], stdin=subprocess.PIPE)
        keyring.stdin.write(b"clockwarden-gnome")
        keyring.stdin.close()

        # The top-left corner would open the overview under the pointer, and banners (such as the
        # shell's own "Screen Lock disabled") would cover windows.
        for schema, key in (("org.gnome.desktop.interface", "enable-hot-corners"),
                            ("org.gnome.desktop.notifications", "show-banners")):
            subprocess.run(["gsettings", "set", schema, key, "false"], env=self.env, check=True,
                           timeout=20)
        command = ["gnome-shell", "--headless", "--wayland", "--wayland-display", "wayland-0"]
        if not self.xwayland:
            command.append("--no-x11")
        elif os.path.isdir("/tmp/.X11-unix") and os.stat("/tmp/.X11-unix").st_mode & 0o022 != 0o022:
            # An X server started as root may leave the socket folder 1755; Xwayland insists on
            # the standard 1777.
            os.chmod("/tmp/.X11-unix", 0o1777)
        for _ in range(self.monitors):
            command += ["--virtual-monitor", "%dx%d" % MONITOR_SIZE]
        self.shell = self._spawn("gnome-shell", command)

        def shell_up():
            if self.shell.poll() is not None:
                raise DesktopError(f"gnome-shell ended with status {self.shell.returncode}")
            return all(self.bus.name_has_owner(name) for name in (
                "org.gnome.Shell", "org.gnome.Mutter.RemoteDesktop", "org.gnome.Mutter.ScreenCast",
                "org.gnome.Mutter.IdleMonitor", "org.freedesktop.secrets"))
        wait_until(shell_up, 60, "gnome-shell")
        if self.xwayland:
            # Mutter hands DISPLAY to the activation environment once Xwayland is set up.
            display = wait_until(self._xwayland_display, 20, "Xwayland's display")
            env["DISPLAY"] = display
        self._open_remote_desktop()
        # The top-left corner opens the overview: the pointer rests in the middle.
        self.point_at(MONITOR_SIZE[0] // 2, MONITOR_SIZE[1] // 2)
        shell = self.bus.get_object("org.gnome.Shell", "/org/gnome/Shell")

        closed_since = []

        def overview_closed():
            # The shell starts in the overview, and its start-up animation may open it again
            # after an early close: it must stay closed for a while.
            if shell.Get("org.gnome.Shell", "OverviewActive",
                         dbus_interface=dbus.PROPERTIES_IFACE):
                closed_since.clear()
                shell.Set("org.gnome.Shell", "OverviewActive", False,
                          dbus_interface=dbus.PROPERTIES_IFACE)
                time.sleep(0.5)
                return False
            closed_since.append(time.monotonic())
            return closed_since[-1] - closed_since[0] >= 2
        wait_until(overview_closed, 40, "the overview to close")

    def _xwayland_display(self):
        for entry in os.listdir("/tmp/.X11-unix") if os.path.isdir("/tmp/.X11-unix") else []:
            number = entry[1:]
            for pid in marked_pids(self.root):
                try:
                    with open(f"/proc/{pid}/cmdline", "rb") as file:
                        arguments = file.read().split(b"\0")
                except OSError:
                    continue
                if arguments and arguments[0].endswith(b"Xwayland") \
                        and (":" + number).encode() in arguments:
                    return ":" + number
        return None

    def _open_remote_desktop(self):
        remote = self.bus.get_object("org.gnome.Mutter.RemoteDesktop",
                                     "/org/gnome/Mutter/RemoteDesktop")
        # A shell that is still starting on two busy cores has been seen to take longer than
        # D-Bus's default 25 s to answer the first call.
        path = remote.CreateSession(dbus_interface="org.gnome.Mutter.RemoteDesktop",
                                    timeout=STARTING_CALL_TIMEOUT_S)
        self.remote = dbus.Interface(self.bus.get_object("org.gnome.Mutter.RemoteDesktop", path),
                                     "org.gnome.Mutter.RemoteDesktop.Session")
        session_id = self.remote.get_dbus_method(
            "Get", dbus.PROPERTIES_IFACE)("org.gnome.Mutter.RemoteDesktop.Session", "SessionId")
        screencast = self.bus.get_object("org.gnome.Mutter.ScreenCast",
                                         "/org/gnome/Mutter/ScreenCast")
        cast_path = screencast.CreateSession({"remote-desktop-session-id": session_id},
                                             dbus_interface="org.gnome.Mutter.ScreenCast",
                                             timeout=STARTING_CALL_TIMEOUT_S)
        cast = dbus.Interface(self.bus.get_object("org.gnome.Mutter.ScreenCast", cast_path),
                              "org.gnome.Mutter.ScreenCast.Session")
        nodes = {}
        for connector in self.connectors():
            # cursor-mode 0: no pointer in the pictures, which are compared with each other.
            stream = cast.RecordMonitor(connector, {"cursor-mode": dbus.UInt32(0)})
            self.streams.append([connector, stream, None])
            self.bus.add_signal_receiver(
                lambda node, path=stream: nodes.__setitem__(str(path), int(node)),
                "PipeWireStreamAdded", "org.gnome.Mutter.ScreenCast.Stream", None, stream)
        self.remote.Start(timeout=STARTING_CALL_TIMEOUT_S)
        wait_until(lambda: len(nodes) == len(self.streams), 20, "the monitors' screen casts")
        for entry in self.streams:
            entry[2] = nodes[str(entry[1])]

    def connectors(self):
        config = self.bus.get_object("org.gnome.Mutter.DisplayConfig",
                                     "/org/gnome/Mutter/DisplayConfig")
        _, monitors, logical, _ = config.GetCurrentState(
            dbus_interface="org.gnome.Mutter.DisplayConfig")
        # Left to right, as the logical monitors lie.
        placed = sorted((int(entry[0]), str(entry[5][0][0])) for entry in logical)
        return [connector for _, connector in placed] or [str(m[0][0]) for m in monitors]

    # Input, as a user's

    def key(self, name, pressed=None):
        keysym = KEYSYMS.get(name) if len(name) > 1 else ord(name)
        if keysym is None:
            raise DesktopError(f"no keysym for {name!r}")
        for state in ([pressed] if pressed is not None else [True, False]):
            self.remote.NotifyKeyboardKeysym(dbus.UInt32(keysym), state)
            time.sleep(0.02)

    def type_text(self, text):
        for character in text:
            self.key(character)

    def move_pointer(self, dx, dy):
        self.remote.NotifyPointerMotionRelative(float(dx), float(dy))

    def point_at(self, x, y, monitor=0):
        self.remote.NotifyPointerMotionAbsolute(self.streams[monitor][1], float(x), float(y))

    def click(self, x=None, y=None, monitor=0):
        if x is not None:
            self.point_at(x, y, monitor)
            time.sleep(0.1)
        self.remote.NotifyPointerButton(BUTTON_LEFT, True)
        time.sleep(0.05)
        self.remote.NotifyPointerButton(BUTTON_LEFT, False)

    def idle_ms(self):
        monitor = self.bus.get_object("org.gnome.Mutter.IdleMonitor",
                                      "/org/gnome/Mutter/IdleMonitor/Core")
        return int(monitor.GetIdletime(dbus_interface="org.gnome.Mutter.IdleMonitor"))

    # Pictures of the screen

    def picture(self, path, monitor=0):
        """A PNG of one monitor as the screen cast sees it."""
        node = self.streams[monitor][2]
        subprocess.run(["gst-launch-1.0", "-q", "pipewiresrc", f"path={node}", "num-buffers=1",
                        "!", "videoconvert", "!", "pngenc", "!", "filesink",
                        f"location={path}"], env=self.env, check=True, timeout=30,
                       capture_output=True)
        return path

    # Stopping

    def stop(self):
        started = time.monotonic()
        if self.remote is not None:
            try:
                self.remote.Stop()
            except dbus.DBusException:
                pass
        # The shell first: the session's clients follow it, the buses go last.
        order = [p for p in self.processes if p[0] == "gnome-shell"] + \
            [p for p in reversed(self.processes) if p[0] != "gnome-shell"]
        for name, process in order:
            if name.endswith("-bus"):
                continue
            self._end(process.pid, process)
        for pid in marked_pids(self.root):
            if not any(process.pid == pid for name, process in self.processes
                       if name.endswith("-bus")):
                self._end(pid)
        for name, process in self.processes:
            if name.endswith("-bus"):
                self._end(process.pid, process)
        left = [pid for pid in marked_pids(self.root) if alive(pid)]
        self.timings["stop"] = time.monotonic() - started
        shutil.rmtree(self.root, ignore_errors=True)
        if left:
            raise DesktopError(f"processes left behind: {left}")

    @staticmethod
    def _end(pid, process=None):
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if process is not None:
                if process.poll() is not None:
                    return
            elif not alive(pid):
                return
            time.sleep(0.05)
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            return
        if process is not None:
            process.wait()


class ShareDialog:
    """The portal's "Screen Share" dialog, read through AT-SPI and answered with the keyboard."""

    def __init__(self, desktop):
        self.desktop = desktop
        # libatspi reads the accessibility bus's address from the session bus it finds in the
        # environment.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = desktop.env["DBUS_SESSION_BUS_ADDRESS"]
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        self.atspi = Atspi

    def frame(self):
        root = self.atspi.get_desktop(0)
        for index in range(root.get_child_count()):
            app = root.get_child_at_index(index)
            if app is None or app.get_name() != "xdg-desktop-portal-gnome":
                continue
            # Nothing here runs the events that would keep a cache fresh.
            app.set_cache_mask(self.atspi.Cache.NONE)
            for child in range(app.get_child_count()):
                frame = app.get_child_at_index(child)
                if frame is not None and frame.get_name() == "Screen Share":
                    return frame
        return None

    def _walk(self, node):
        yield node
        for index in range(node.get_child_count()):
            child = node.get_child_at_index(index)
            if child is not None:
                yield from self._walk(child)

    def _states(self, node):
        return {state.value_nick for state in node.get_state_set().get_states()}

    def _find(self, role, name=None):
        frame = self.frame()
        if frame is None:
            return []
        return [node for node in self._walk(frame) if node.get_role_name() == role
                and (name is None or node.get_name() == name
                     or node.get_name().endswith(" " + name))]

    def _focused(self):
        frame = self.frame()
        if frame is None:
            return None
        for node in self._walk(frame):
            if "focused" in self._states(node) and node.get_role_name() != "frame":
                return node
        return None

    def _tab_to(self, wanted, what):
        """Tabs until wanted(node) holds for the focused node. Keys go out only once the dialog
        holds the focus, and one lost as it maps is made up by the next round."""
        wait_until(self._focused, 15, "the Screen Share dialog to take the focus", step=0.1)
        for _ in range(20):
            focused = self._focused()
            if focused is not None and wanted(focused):
                return focused
            self.desktop.key("Tab")
            time.sleep(0.3)
        raise DesktopError(f"the focus never reached {what} in the Screen Share dialog")

    def wait(self, timeout=30):
        return wait_until(self.frame, timeout, "the Screen Share dialog", step=0.1)

    def monitors(self):
        return self._find("list item")

    def _with_control(self, key):
        self.desktop.key("Control_L", True)
        self.desktop.key(key)
        self.desktop.key("Control_L", False)
        time.sleep(0.15)

    def confirm(self, timeout=30):
        """Selects every monitor and presses Share."""
        self.wait(timeout)
        count = len(wait_until(self.monitors, 10, "the monitors in the dialog"))
        # The focus entering the list selects its first row; Control moves the focus without
        # changing the selection, and Control+space adds the focused row.
        self._tab_to(lambda node: node.get_role_name() == "list item", "the monitor list")
        for number in range(1, count):
            self._with_control("Down")
            item = self.monitors()[number]
            for _ in range(3):
                if "selected" in self._states(item):
                    break
                self._with_control("space")
        selected = [item for item in self.monitors() if "selected" in self._states(item)]
        if len(selected) != count:
            raise DesktopError(f"{len(selected)} of {count} monitors could be selected")
        share = self._find("push button", "Share")
        if not share or "sensitive" not in self._states(share[0]):
            raise DesktopError("Share stays insensitive after selecting the monitors")
        self._tab_to(lambda node: node.get_role_name() == "push button"
                     and node.get_name().endswith("Share"), "Share")
        self.desktop.key("Return")
        wait_until(lambda: self.frame() is None, 10, "the dialog to close")

    def cancel(self, timeout=30):
        self.wait(timeout)
        self._tab_to(lambda node: node.get_role_name() == "push button"
                     and node.get_name().endswith("Cancel"), "Cancel")
        self.desktop.key("Return")
        wait_until(lambda: self.frame() is None, 10, "the dialog to close")
