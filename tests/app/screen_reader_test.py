#!/usr/bin/python3
# The Linux window as a screen reader reads it (AT-SPI), from the first
# page to a finished batch, driven by keys alone: each control's role and
# name, the selectors' labels, the folder names, the tab order of each
# page, the progress page after the batch and a failed file's reason.
#
# Run by screen_reader_test.sh inside dbus-run-session and xvfb-run:
#   screen_reader_test.py QUENRIX MKSAMPLE
# Exits 77 (skipped) when the accessibility bus cannot start.
import os
import signal
import subprocess
import sys
import tempfile
import time

QUENRIX, MKSAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SKIPPED = 77
failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def run(*command, timeout=20):
    return subprocess.run(command, capture_output=True, text=True, timeout=timeout)


# The accessibility bus, which the window registers with: the session bus
# starts its launcher when first asked for its address.
deadline = time.monotonic() + 15
while True:
    answer = run("dbus-send", "--session", "--dest=org.a11y.Bus", "--print-reply",
                 "/org/a11y/bus", "org.a11y.Bus.GetAddress")
    if answer.returncode == 0 and '"' in answer.stdout:
        accessibility_bus = answer.stdout.split('"')[1]
        break
    if time.monotonic() > deadline:
        print("SKIPPED: the accessibility bus did not start: " + answer.stderr.strip())
        sys.exit(SKIPPED)
    time.sleep(0.2)


def process_of(bus, name):
    """The process id of the connection `name` on `bus`; None if unknown."""
    answer = run("dbus-send", bus, "--dest=org.freedesktop.DBus", "--print-reply",
                 "/org/freedesktop/DBus", "org.freedesktop.DBus.GetConnectionUnixProcessID",
                 "string:" + name)
    words = answer.stdout.split()
    return int(words[-1]) if answer.returncode == 0 and words[-2:-1] == ["uint32"] else None


# The launcher and its bus outlive the session bus: ended by their ids at
# the end.
bus_processes = [process_of("--session", "org.a11y.Bus"),
                 process_of("--bus=" + accessibility_bus, "org.freedesktop.DBus")]

import pyatspi  # noqa: E402  (after the bus is there)
from gi.repository import GLib  # noqa: E402

# What the window announces: name changes, as a screen reader hears them.
announced = []


def on_name_change(event):
    try:
        announced.append((event.source.getRoleName(), event.source.name))
    except Exception:  # the object went meanwhile
        pass


pyatspi.Registry.registerEventListener(on_name_change, "object:property-change:accessible-name")


def pump(seconds):
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.02)


def wait_for(condition, what, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        pump(0.05)
        try:
            value = condition()
        except Exception:  # a node went while it was read
            value = None
        if value:
            return value
    check(False, "in time: " + what)
    return None


def nodes(root):
    stack = [root]
    while stack:
        node = stack.pop()
        if node is None:
            continue
        yield node
        try:
            stack.extend(reversed([node[i] for i in range(node.childCount)]))
        except Exception:
            pass


def showing(root):
    for node in nodes(root):
        try:
            if node.getState().contains(pyatspi.STATE_SHOWING):
                yield node
        except Exception:
            pass


def spoken(node):
    return (node.getRoleName(), node.name)


# The folders: a top folder with two subfolders, data in one of them; a
# file with a rollover and a text file that is no SIG file.
work = tempfile.mkdtemp(prefix="quenrix-reader-")
top = os.path.join(work, "top")
data = os.path.join(top, "data")
os.makedirs(data)
os.makedirs(os.path.join(top, "w2"))
os.makedirs(os.path.join(work, "run"), mode=0o700)
check(run(MKSAMPLE, os.path.join(data, "1234L27B.SIG"), "--size", "4K").returncode == 0,
      "the sample file is made")
with open(os.path.join(data, "NOTES.SIG"), "w") as notes:
    notes.write("not a receiver's file\n")

environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QUENRIX_LANGUAGE="en",
                   QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=os.path.join(work, "run"),
                   HOME=work)
window = subprocess.Popen([QUENRIX], cwd=top, env=environment)


def find_application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == os.path.basename(QUENRIX) and app.childCount > 0:
            return app
    return None


def key(*keys):
    run("xdotool", "key", "--delay", "60", *keys)


def focused(frame):
    for node in showing(frame):
        states = node.getState()
        if states.contains(pyatspi.STATE_FOCUSED) and node.getRoleName() != "list item":
            return node
    return None


def tab_cycle(frame, count):
    """The controls Tab reaches, `count` of them from the one focused."""
    reached = []
    for _ in range(count):
        before = focused(frame)
        before = spoken(before) if before is not None else None
        key("Tab")
        now = wait_for(lambda: (lambda n: n if n is not None and spoken(n) != before else None)(
            focused(frame)), "the focus moves on Tab")
        reached.append(spoken(now) if now is not None else None)
    return reached


def same_cycle(reached, expected):
    if len(reached) != len(expected) or not reached or reached[0] not in expected:
        return False
    start = expected.index(reached[0])
    return reached == expected[start:] + expected[:start]


def by_role(frame, role, name=None):
    return [n for n in showing(frame) if n.getRoleName() == role and
            (name is None or n.name == name)]


try:
    app = wait_for(find_application, "the window on the accessibility bus", 30)
    if app is None:
        sys.exit(1)
    frame = app[0]
    window_id = wait_for(lambda: run("xdotool", "search", "--onlyvisible", "--pid",
                                     str(window.pid)).stdout.split(), "the window on screen")
    run("xdotool", "windowfocus", "--sync", window_id[-1])
    wait_for(lambda: focused(frame), "a control takes the focus")

    # Page 1: the check box, then the default button Next, then Exit.
    check(same_cycle(tab_cycle(frame, 3), [
        ("check box", "Delete the input files once converted"),
        ("push button", "Next"), ("push button", "Exit")]),
        "page 1: Tab goes check box, Next, Exit")
    box = by_role(frame, "check box")[0]
    was = box.getState().contains(pyatspi.STATE_CHECKED)
    key("alt+d")
    check(wait_for(lambda: box.getState().contains(pyatspi.STATE_CHECKED) != was,
                   "Alt+D turns the check box", 5) is not None, "page 1: Alt+D turns the check box")
    key("alt+n")
    wait_for(lambda: by_role(frame, "combo box"), "page 2")

    # Page 2: every control named, every part of the page with a role.
    # (A label's name is its text; the stack of pages and each page are
    # parts a screen reader passes through.)
    unknown = [spoken(n) for n in showing(frame) if n.getRoleName() == "unknown"]
    check(not unknown, "page 2: every part has a role (%r)" % unknown)
    unnamed = [n.getRoleName() for n in showing(frame) if n.name.strip() == "" and
               n.getRoleName() not in ("label", "filler", "list item", "layered pane")]
    check(not unnamed, "page 2: every part has a name (%r)" % unnamed)
    check(len(by_role(frame, "separator", "Border between folders and files")) == 1,
          "page 2: the splitter's handle is a named separator")
    # Each selector read with its label.
    for combo, label in zip(by_role(frame, "combo box"), ["Drive:", "File type:"]):
        labels = [target.name for relation in combo.getRelationSet()
                  if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
                  for target in (relation.getTarget(i) for i in range(relation.getNTargets()))]
        check(labels == [label], "page 2: the combo box %r is labelled %r (%r)" %
              (combo.name, label, labels))
    folders = by_role(frame, "list", "Folders")
    check(len(folders) == 1, "page 2: the folder list is named Folders")
    names = [item.name for item in folders[0]] if folders else []
    check(names[-3:] == ["top", "data", "w2"], "page 2: the folders read by name (%r)" % names)
    check(all(name == name.strip() for name in names), "page 2: no folder name read with blanks")
    check(same_cycle(tab_cycle(frame, 9), [
        ("combo box", "/"), ("combo box", "SIG files (*.SIG)"), ("list", "Folders"),
        ("list", "Files"), ("push button", "Select all"), ("push button", "Select none"),
        ("push button", "Convert"), ("push button", "Back"), ("push button", "Exit")]),
        "page 2: Tab goes drive, file type, folders, files, selection, Convert, Back, Exit")

    # Into "data" by typing its name, then every file converted.
    for _ in range(10):
        if spoken(focused(frame)) == ("list", "Folders"):
            break
        tab_cycle(frame, 1)
    key("d", "a", "t", "a", "Return")
    files = wait_for(lambda: [i.name for i in by_role(frame, "list", "Files")[0]] ==
                     ["1234L27B.SIG", "NOTES.SIG"], "typing 'data' and Enter enter the folder")
    key("Tab", "ctrl+a", "alt+c")
    finished = wait_for(lambda: by_role(frame, "label", "Conversion finished"),
                        "the heading reads Conversion finished", 30)

    # Page 3, the batch ended: the heading, the counter, the bar, the result.
    check(bool(finished), "page 3: the heading reads Conversion finished")
    check(not by_role(frame, "label", "Converting..."), "page 3: no heading reads Converting...")
    check(len(by_role(frame, "label", "Files: 2/2")) == 1, "page 3: the counter reads Files: 2/2")
    bars = by_role(frame, "progress bar")
    value = bars[0].queryValue() if bars else None
    check(value is not None and value.currentValue == 0,
          "page 3: the bar reads empty, as it shows")
    check(("label", "Conversion finished") in announced, "page 3: the new heading is announced")
    check(("label", "Files: 2/2") in announced, "page 3: the counter is announced")
    now = focused(frame)
    check(now is not None and spoken(now) == ("list", "Results"),
          "page 3: the focus is on the results")
    results = by_role(frame, "list", "Results")
    lines = [item.name for item in results[0]] if results else []
    chosen = [item.name for item in results[0]
              if item.getState().contains(pyatspi.STATE_SELECTED)] if results else []
    check(len(chosen) == 1 and "Result: 1 corrected, 0 needing no correction, 1 failed" in chosen[0],
          "page 3: the result line is the one chosen (%r)" % chosen)
    failed = [i for i, line in enumerate(lines) if line.endswith("NOTES.SIG")]
    reason = lines[failed[0] + 1] if failed and failed[0] + 1 < len(lines) else ""
    check("failed" in reason.lower() and "(" in reason,
          "page 3: the failed file's line says why (%r)" % reason)
    # Up to the failed file's reason: the status bar reads it too.
    key(*(["Up"] * (len(lines) - 1 - (failed[0] + 1) if failed else 0)))
    why = reason[reason.find("(") + 1:reason.rfind(")")] if "(" in reason else "?"
    check(wait_for(lambda: [n for n in showing(frame) if n.getRoleName() == "label" and
                            why and why in n.name], "the status bar reads the reason", 5)
          is not None, "page 3: the status bar reads the reason (%r)" % why)
    check(same_cycle(tab_cycle(frame, 3), [
        ("list", "Results"), ("push button", "Back"), ("push button", "Exit")]),
        "page 3: Tab goes results, Back, Exit (Cancel is off after the batch)")
finally:
    window.kill()
    window.wait(timeout=10)
    for process in bus_processes:
        if process is not None:
            try:
                os.kill(process, signal.SIGTERM)
            except OSError:
                pass
    subprocess.run(["rm", "-rf", work])

print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
