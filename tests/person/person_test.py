#!/usr/bin/python3
"""Harbex as a person uses it, driven through the desktop's accessibility tree.

Started by run_person_test.sh inside its own X server and session bus. It serves a
site on 127.0.0.1, starts the harbex program given on the command line with a
fresh HARBEX_HOME, and then, through AT-SPI and the keyboard only (names, roles,
actions and keys, never screen positions): types the address into the address
box, presses Go, waits for "Task Complete" in the task's row, opens the Tasks view,
runs the task again with SmartUpdate, tabs once round the window (every control
reached, each with a name), opens the summary report from the Reports button's
menu with the keyboard, leaves through File > Exit, and checks the copy and the
report on disk.

Usage: person_test.py HARBEX_PROGRAM SITE_FOLDER
"""

import ctypes
import functools
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

import pyatspi
from gi.repository import GLib

STEP_TIMEOUT = 90.0
POLL = 0.25


class Failure(Exception):
    pass


def log(text):
    print(f"[person] {text}", flush=True)


# ---- The site ----

class RecordingHandler(http.server.SimpleHTTPRequestHandler):
    """Serves the site folder and remembers every request with its validator."""

    requests = []
    lock = threading.Lock()

    def do_GET(self):
        with RecordingHandler.lock:
            RecordingHandler.requests.append((self.path, self.headers.get("If-Modified-Since")))
        super().do_GET()

    def log_message(self, format, *args):
        pass


def request_count():
    with RecordingHandler.lock:
        return len(RecordingHandler.requests)


def start_site(folder):
    handler = functools.partial(RecordingHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


# ---- The accessibility tree ----

def wait_for(what, probe, timeout=STEP_TIMEOUT):
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure(f"timed out waiting for {what}")
        time.sleep(POLL)


def children(node):
    try:
        return [child for child in node if child is not None]
    except Exception:
        return []


def role_of(node):
    try:
        return node.getRoleName()
    except Exception:
        return ""


def name_of(node):
    try:
        return node.name or ""
    except Exception:
        return ""


def is_showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


# Item views are not searched cell by cell; their rows are reached through the
# table interface.
LEAF_ROLES = {"table", "tree", "tree table", "list"}


def find_all(root, role=None, name=None, showing=True, contains=False):
    found = []
    stack = [root]
    while stack:
        node = stack.pop()
        node_role = role_of(node)
        node_name = name_of(node)
        name_ok = name is None or (name in node_name if contains else node_name == name)
        if (role is None or node_role == role) and name_ok and (not showing or is_showing(node)):
            found.append(node)
        if node_role not in LEAF_ROLES and (not showing or node is root or is_showing(node) or node_role == "menu bar"):
            stack.extend(reversed(children(node)))
    return found


def find_one(root, role, name, contains=False, showing=True):
    return wait_for(f"{role} '{name}'", lambda: next(iter(find_all(root, role, name, showing, contains)), None))


def do_action(node, action):
    interface = node.queryAction()
    for index in range(interface.nActions):
        if interface.getName(index) == action:
            interface.doAction(index)
            return
    names = [interface.getName(i) for i in range(interface.nActions)]
    raise Failure(f"'{name_of(node)}' offers no {action} action (it offers {names})")


def menu_item(window, *path):
    """A menu item of the window's menu bar, reached through its menu path."""
    node = next(iter(find_all(window, "menu bar", None)), None)
    if node is None:
        raise Failure("the window has no menu bar")
    for caption in path:
        node = next((item for item in find_all(node, "menu item", caption, showing=False)), None)
        if node is None:
            raise Failure(f"no menu item '{caption}' on the path {path}")
    return node


def find_application(process):
    def probe():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in children(desktop):
            try:
                if app.get_process_id() == process.pid:
                    return app
            except Exception:
                continue
        if process.poll() is not None:
            raise Failure(f"harbex ended with {process.returncode} before it showed a window")
        return None

    return wait_for("harbex on the accessibility bus", probe)


def task_row(window):
    """The texts of the first row of the Tasks view's task list (its status among them)."""
    tables = find_all(window, "table", "Task list")
    if not tables:
        return []
    table = tables[0].queryTable()
    if table.nRows < 1:
        return []
    return [name_of(table.getAccessibleAt(0, column)) for column in range(table.nColumns)]


def wait_for_task_status(window, text, timeout=STEP_TIMEOUT):
    try:
        return wait_for(f"'{text}' in the task's row", lambda: text in task_row(window), timeout)
    except Failure as failure:
        raise Failure(f"{failure}; the row reads {task_row(window)}")


def top_windows(app):
    return [node for node in children(app) if is_showing(node)]


def wait_for_dialog(app, main_window, title=None):
    def probe():
        for node in top_windows(app):
            if node == main_window:
                continue
            if title is None or title in name_of(node):
                return node
        return None

    return wait_for(f"dialog '{title or ''}'", probe)


# ---- The desktop's part ----
# There is no window manager in the test's display, so nothing gives a new window
# the keyboard focus as a desktop would; this does that one job through Xlib.

class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("window_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


def give_keyboard_focus(title):
    """Gives the shown top-level X window called title the keyboard focus."""
    xlib = ctypes.CDLL("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                ctypes.POINTER(ctypes.c_uint)]
    xlib.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
    xlib.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XWindowAttributes)]
    xlib.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
    xlib.XRaiseWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    xlib.XFree.argtypes = [ctypes.c_void_p]
    xlib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(None)
    if not display:
        raise Failure("cannot open the test's X display")
    try:
        root_return, parent_return = ctypes.c_ulong(), ctypes.c_ulong()
        windows, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        xlib.XQueryTree(display, xlib.XDefaultRootWindow(display), ctypes.byref(root_return),
                        ctypes.byref(parent_return), ctypes.byref(windows), ctypes.byref(count))
        found = None
        for index in range(count.value):
            window = windows[index]
            name = ctypes.c_char_p()
            attributes = XWindowAttributes()
            if not xlib.XFetchName(display, window, ctypes.byref(name)):
                continue
            matches = name.value.decode("utf-8", "replace") == title
            xlib.XFree(name)
            viewable = xlib.XGetWindowAttributes(display, window, ctypes.byref(attributes)) and attributes.map_state == 2
            if matches and viewable:
                found = window
        if windows:
            xlib.XFree(windows)
        if found is None:
            return False
        revert_to_parent, current_time = 2, 0
        xlib.XRaiseWindow(display, found)
        xlib.XSetInputFocus(display, found, revert_to_parent, current_time)
        xlib.XSync(display, 0)
        return True
    finally:
        xlib.XCloseDisplay(display)


KEY_TAB = 0xFF09
KEY_SPACE = 0x0020
KEY_DOWN = 0xFF54
KEY_RETURN = 0xFF0D


def press_key(keysym):
    """Presses and releases one key, as the keyboard would (XTest, through the registry)."""
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


def is_focused(node):
    try:
        return node.getState().contains(pyatspi.STATE_FOCUSED)
    except Exception:
        return False


class FocusWatcher:
    """Follows where the keyboard focus goes, from the program's own focus events.

    Open menus are not children of the application in the tree; their items show
    up only through these events."""

    def __init__(self):
        self.events = []
        pyatspi.Registry.registerEventListener(self._on_focus, "object:state-changed:focused")

    def _on_focus(self, event):
        if event.detail1:
            self.events.append(event.source)

    def close(self):
        pyatspi.Registry.deregisterEventListener(self._on_focus, "object:state-changed:focused")

    def press(self, keysym, what, timeout=20.0):
        """Presses a key and returns the control that takes the focus after it."""
        self.events.clear()
        press_key(keysym)
        context = GLib.MainContext.default()

        def probe():
            while context.iteration(False):
                pass
            return self.events[-1] if self.events else None

        return wait_for(what, probe, timeout)


# Interactive roles a keyboard user must be able to reach.
KEYBOARD_ROLES = {"push button", "check box", "radio button", "combo box", "link", "table", "tree", "text",
                  "spin button", "page tab", "slider"}


def describe(nodes):
    return [(role_of(node), name_of(node)) for node in nodes]


def keyboard_reachable(window, watcher, start):
    """Tabs once round the window from start and checks what the focus met on the way:
    each control has a name, and every enabled control a person can focus is met."""
    chain = []
    for _ in range(100):
        node = watcher.press(KEY_TAB, "the focus to move on Tab")
        chain.append(node)
        if node == start or is_focused(start):
            break
    else:
        raise Failure(f"Tab never came back round to '{name_of(start)}': {describe(chain)}")
    unnamed = [role_of(node) for node in chain if not name_of(node).strip()]
    check(not unnamed, f"controls without an accessible name on the Tab round: {unnamed}")

    def parent_of(node):
        try:
            return node.parent
        except Exception:
            return None

    def met(node):
        # The edit field of a combo box takes the focus for its box, and the other way round.
        return any(node == other or parent_of(node) == other or parent_of(other) == node for other in chain)

    missed = []
    for node in find_all(window):
        if role_of(node) not in KEYBOARD_ROLES:
            continue
        state = node.getState()
        if state.contains(pyatspi.STATE_FOCUSABLE) and state.contains(pyatspi.STATE_ENABLED) and not met(node):
            missed.append(node)
    check(not missed, f"controls Tab does not reach: {describe(missed)}; the round was {describe(chain)}")
    return chain


# ---- The run ----

def opened_lines(path):
    """What the stand-in desktop opener was asked to open so far, one line each."""
    if not os.path.exists(path):
        return []
    with open(path) as lines:
        return [line for line in lines.read().split("\n") if line]


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(harbex, site_folder):
    work = tempfile.mkdtemp(prefix="harbex-person-")
    home = os.path.join(work, "home")
    os.makedirs(home)
    opened_log = os.path.join(work, "opened.txt")
    # The desktop's opener: a stand-in first on PATH that writes down what it was given.
    fake_bin = os.path.join(work, "bin")
    os.makedirs(fake_bin)
    opener = os.path.join(fake_bin, "xdg-open")
    with open(opener, "w") as script:
        script.write(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{opened_log}"\n')
    os.chmod(opener, 0o755)

    server = start_site(site_folder)
    address = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    log(f"site at {address}, HARBEX_HOME={home}")

    environment = dict(os.environ)
    for proxy in ("http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
        environment.pop(proxy, None)
    environment.update(
        HARBEX_HOME=home,
        PATH=fake_bin + os.pathsep + environment.get("PATH", "/usr/bin:/bin"),
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
        QT_ACCESSIBILITY="1",
        QT_QPA_PLATFORM="xcb",
        XDG_CURRENT_DESKTOP="",
        DESKTOP_SESSION="",
    )
    process = subprocess.Popen([harbex], env=environment)
    try:
        app = find_application(process)
        window = wait_for("the main window", lambda: next((w for w in top_windows(app) if role_of(w) == "frame"), None))
        log(f"window '{name_of(window)}' is up")

        # Copies go to the Personal Intranet, as plain files.
        intranet = find_one(window, "check box", "Intranet Mode")
        if not intranet.getState().contains(pyatspi.STATE_CHECKED):
            do_action(intranet, "Toggle")
        wait_for("Intranet Mode on", lambda: intranet.getState().contains(pyatspi.STATE_CHECKED))

        # Type the address and press Go.
        address_box = find_one(window, "combo box", "Address:")
        edit = wait_for("the address box's text", lambda: next(iter(find_all(address_box, "text", None)), None))
        edit.queryEditableText().setTextContents(address)
        check(edit.queryText().getText(0, -1) == address, "the address box does not hold the typed address")
        do_action(find_one(window, "push button", "Go"), "Press")
        log("Go pressed")
        wait_for_task_status(window, "Task Complete")
        first_run_requests = request_count()
        check(first_run_requests >= 5, f"the first run made only {first_run_requests} requests")
        log(f"first run complete after {first_run_requests} requests")

        # The Tasks view, its one task selected.
        do_action(find_one(window, "link", "Tasks"), "Press")
        tasks = find_one(window, "table", "Task list")
        table = tasks.queryTable()
        wait_for("the task in the task list", lambda: table.nRows >= 1)
        check(table.nRows == 1, f"the task list shows {table.nRows} tasks, not one")
        table.addRowSelection(0)
        run_button = find_one(window, "push button", "Run")
        wait_for("Run enabled", lambda: run_button.getState().contains(pyatspi.STATE_ENABLED))

        # Run again: the run dialog asks how; SmartUpdate.
        do_action(run_button, "Press")
        dialog = wait_for_dialog(app, window)
        log(f"run dialog '{name_of(dialog)}'")
        smart_update = find_one(dialog, "radio button", "SmartUpdate")
        do_action(smart_update, "Toggle")
        wait_for("SmartUpdate checked", lambda: smart_update.getState().contains(pyatspi.STATE_CHECKED))
        do_action(find_one(dialog, "push button", "Run"), "Press")
        wait_for("the second run's requests", lambda: request_count() > first_run_requests)
        wait_for_task_status(window, "Task Complete")
        with RecordingHandler.lock:
            second_run = RecordingHandler.requests[first_run_requests:]
        log(f"second run complete after {len(second_run)} requests")
        check(any(path.startswith("/index.html") for path, _ in second_run),
              f"the SmartUpdate run did not ask for the start page again: {second_run}")

        # The keyboard: the window takes the focus as a desktop would give it; a Tab
        # round from Run meets every control, each with its name.
        wait_for("the main window to take the keyboard focus",
                 lambda: give_keyboard_focus(name_of(window)) and window.getState().contains(pyatspi.STATE_ACTIVE))
        watcher = FocusWatcher()
        do_action(run_button, "SetFocus")
        wait_for("Run to have the focus", lambda: is_focused(run_button))
        chain = keyboard_reachable(window, watcher, run_button)
        log(f"Tab reaches {len(chain)} controls, each with a name")

        # The summary report, from the Reports button's menu: Tab to the button,
        # Space opens the menu, Down to "Task Summary", Return.
        reports = find_one(window, "push button", "Reports")
        for _ in range(len(chain)):
            if is_focused(reports):
                break
            watcher.press(KEY_TAB, "the focus to move on Tab")
        check(is_focused(reports), "Tab never reached the Reports button")
        opened_before = opened_lines(opened_log)
        press_key(KEY_SPACE)
        wait_for("the Reports menu open", lambda: reports.getState().contains(pyatspi.STATE_PRESSED))
        item = None
        for _ in range(6):
            item = watcher.press(KEY_DOWN, "a report menu item to take the focus")
            if role_of(item) == "menu item" and name_of(item) == "Task Summary":
                break
        check(item is not None and name_of(item) == "Task Summary",
              f"Down in the Reports menu never came to 'Task Summary' (last: '{name_of(item)}')")
        press_key(KEY_RETURN)
        opened = wait_for("the summary report handed to the desktop",
                          lambda: len(opened_lines(opened_log)) > len(opened_before) and opened_lines(opened_log)[-1])
        watcher.close()
        log(f"report opened: {opened}")

        # Leave the program; answer its question should one come.
        do_action(menu_item(window, "File", "Exit"), "Press")
        deadline = time.monotonic() + STEP_TIMEOUT
        while process.poll() is None and time.monotonic() < deadline:
            for node in top_windows(app) if process.poll() is None else []:
                if node != window and role_of(node) in ("dialog", "alert"):
                    for caption in ("Yes", "OK"):
                        button = next(iter(find_all(node, "push button", caption)), None)
                        if button is not None:
                            log(f"answering '{name_of(node)}' with {caption}")
                            do_action(button, "Press")
                            break
            time.sleep(POLL)
        check(process.poll() is not None, "harbex is still running after File > Exit")
        check(process.returncode == 0, f"harbex ended with status {process.returncode}")
        log("harbex closed")
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        server.shutdown()

    # ---- On disk ----
    report = urllib.parse.urlparse(opened)
    report_path = urllib.parse.unquote(report.path) if report.scheme == "file" else opened
    check(report_path.endswith("_summary.htm"), f"the opened report {report_path} is not a task summary")
    check(report_path.startswith(home), f"the report {report_path} is not under HARBEX_HOME")
    check(os.path.isfile(report_path), f"the opened report {report_path} is not a file")
    with open(report_path, encoding="utf-8", errors="replace") as report:
        text = report.read()
    check("127.0.0.1" in text, "the summary report does not name the copied site")
    log(f"summary report {report_path}: {len(text)} characters")

    # The copy: every file of the site in the task's folder of the Personal Intranet,
    # where its summary lies; pictures and style sheets byte for byte, pages browsable
    # from disk (no link back to the server left in them).
    root = os.path.dirname(report_path)
    check(os.path.dirname(root) == os.path.join(home, "My Intranet"),
          f"the copy {root} is not a folder of the Personal Intranet under HARBEX_HOME")
    site_files = []
    for folder, _, files in os.walk(site_folder):
        site_files += [os.path.relpath(os.path.join(folder, name), site_folder) for name in files]
    server_address = address[:address.index("/", len("http://"))]
    for relative in site_files:
        copied = os.path.join(root, relative)
        check(os.path.isfile(copied), f"{relative} of the site was not copied to {root}")
        with open(copied, "rb") as mine, open(os.path.join(site_folder, relative), "rb") as theirs:
            mine_bytes, theirs_bytes = mine.read(), theirs.read()
        if relative.endswith((".html", ".htm")):
            check(server_address.encode() not in mine_bytes, f"the saved {relative} still links to {server_address}")
        else:
            check(mine_bytes == theirs_bytes, f"the copy of {relative} differs from the site's")
    log(f"copy under {root}: all {len(site_files)} files of the site")


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    try:
        run(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]))
    except Failure as failure:
        print(f"[person] FAILED: {failure}", flush=True)
        return 1
    print("[person] PASSED", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
