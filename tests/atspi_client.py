"""The real metronome as a screen reader meets it, over the desktop's accessibility bus.

Starts the program given on the command line, reads its tree of controls, presses Play
through the action interface, steps and sets the tempo slider, presses the play and stop
buttons while they are hidden, listens for the tempo changes a key, the wheel, a drag and a
tempo mark make (xdotool, on the X server the program shows on), and closes the program with
its close button. Prints the tree it found and every check with what it saw. Exits 0 when
every check holds, 1 otherwise.
"""

import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib


def wait_for(what, find, seconds=15.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = find()
        if found is not None and found is not False:
            return found
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def children(accessible):
    accessible.clear_cache()
    return [accessible.getChildAtIndex(i) for i in range(accessible.childCount)]


def the_program():
    for app in children(pyatspi.Registry.getDesktop(0)):
        if app is not None and app.name == "Metronome":
            return app
    return None


def states(accessible):
    accessible.clear_cache()
    return accessible.getState()


def showing(accessible):
    return states(accessible).contains(pyatspi.STATE_SHOWING)


def place(accessible):
    """Left, top, width and height on the screen, in pixels."""
    box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def act(accessible, name):
    action = accessible.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if name not in names:
        raise AssertionError("%s has no action %s, only %s" % (accessible.name, name, names))
    action.doAction(names.index(name))


def describe(accessible, depth=0):
    line = "  " * depth + '%s "%s"' % (accessible.getRoleName(), accessible.name)
    try:
        value = accessible.queryValue()
        line += " value %g (%g to %g)" % (
            value.currentValue, value.minimumValue, value.maximumValue)
    except NotImplementedError:
        pass
    try:
        line += " text %r" % accessible.queryText().getText(0, -1)
    except NotImplementedError:
        pass
    try:
        action = accessible.queryAction()
        line += " actions %s" % [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        pass
    print(line)
    for child in children(accessible):
        describe(child, depth + 1)


class Heard:
    """What a screen reader hears of the tempo: the slider's value changes and the
    read-out's text changes, as (event type, source name, text) in order of arrival."""

    kinds = ("object:property-change:accessible-value", "object:text-changed")

    def __init__(self):
        self.events = []
        pyatspi.Registry.registerEventListener(self.hear, *self.kinds)

    def hear(self, event):
        text = event.any_data if isinstance(event.any_data, str) else ""
        self.events.append((event.type, event.source.name, text))

    def pump(self, seconds):
        end = time.monotonic() + seconds
        context = GLib.MainContext.default()
        while time.monotonic() < end:
            while context.pending():
                context.iteration(False)
            time.sleep(0.01)

    def after(self, doing, wanted):
        """Runs `doing` and returns the events heard until `wanted` of them came (5 s at
        most, then 0.2 s more for any that should not come)."""
        self.pump(0.2)
        self.events.clear()
        doing()
        end = time.monotonic() + 5
        while len(self.events) < wanted and time.monotonic() < end:
            self.pump(0.05)
        self.pump(0.2)
        return list(self.events)


def xdotool(*arguments):
    subprocess.run(["xdotool", *[str(a) for a in arguments]], check=True)


def main():
    heard = Heard()  # before the program starts: the bridge sends only what is listened to
    program = subprocess.Popen([sys.argv[1]])
    failures = []

    def expect(what, seen, wanted):
        holds = seen == wanted
        print("ok: %s" % what if holds else "FAILED: %s: saw %r, wanted %r" % (what, seen, wanted))
        if not holds:
            failures.append(what)

    try:
        app = wait_for("the program on the accessibility bus", the_program)

        def frame():
            for top in children(app):
                if top.getRole() == pyatspi.ROLE_FRAME and top.name == "Metronome":
                    return top
            return None

        answered = []

        def play_shown():
            window = frame()
            if window is None:
                return False
            # Without a sound device the program first says so in a message box. Its OK
            # button clicks a moment after the press: press it once.
            for top in children(app):
                if (top.getRole() in (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG)
                        and showing(top) and not answered):
                    for button in pyatspi.findAllDescendants(
                            top, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON):
                        act(button, "Press")
                        answered.append(button)
            return any(c.name == "Play" and showing(c) for c in children(window))

        wait_for("the window with its Play button", play_shown)
        window = frame()
        describe(app)
        controls = {c.name: c for c in children(window)}

        slider = controls["Tempo"]
        readout = controls["Tempo, beats per minute"]
        value = slider.queryValue()
        text = readout.queryText()

        def tempo():
            return value.currentValue, text.getText(0, -1)

        def buttons_showing():
            return showing(controls["Play"]), showing(controls["Stop"])

        expect("the weight's role", slider.getRole(), pyatspi.ROLE_SLIDER)
        expect("the read-out's role", readout.getRole(), pyatspi.ROLE_LABEL)
        expect("the tempo at start", tempo(), (120, "120"))
        expect("the slider's range",
               (value.minimumValue, value.maximumValue), (40.0, 300.0))

        act(slider, "Increase")
        expect("increase: one beat per minute faster", tempo(), (121, "121"))
        act(slider, "Decrease")
        act(slider, "Decrease")
        expect("decrease twice", tempo(), (119, "119"))
        value.currentValue = 1000
        expect("setting past the end", tempo(), (300, "300"))
        value.currentValue = 217
        expect("setting 217, above the last mark", tempo(), (217, "217"))

        # Play, and Play again while it is hidden: the run goes on, and Stop puts the weight
        # back where it stood before the first press, not where the swing had it.
        upright = place(slider)
        act(controls["Play"], "Press")
        expect("Play starts: (play, stop) showing", buttons_showing(), (False, True))
        time.sleep(0.12)  # about half a beat at 217: the weight is well off the middle
        act(controls["Play"], "Press")
        expect("the hidden Play: still running", buttons_showing(), (False, True))
        act(slider, "Decrease")
        value.currentValue = 60
        expect("while playing the tempo stays", tempo(), (217, "217"))
        act(controls["Stop"], "Press")
        expect("Stop stops: (play, stop) showing", buttons_showing(), (True, False))
        expect("Stop puts the weight back where it was", place(slider), upright)

        # Stop again while it is hidden: the weight moved since stays.
        value.currentValue = 100
        moved = place(slider)
        act(controls["Stop"], "Press")
        expect("the hidden Stop: the weight stays", place(slider), moved)
        expect("the hidden Stop: the tempo stays", tempo(), (100, "100"))

        # Tempo changes made with the keyboard and the pointer reach the screen reader: a
        # value change on the slider, and the read-out's old text deleted and the new one
        # inserted.
        left, top, _, _ = place(window)
        xid = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Metronome$"],
                             capture_output=True, text=True, check=True).stdout.split()[0]

        def key():
            xdotool("windowfocus", "--sync", xid)
            xdotool("key", "KP_Add")

        def wheel():
            xdotool("mousemove", left + 150, top + 200)
            xdotool("click", 5)  # towards the user: one beat per minute faster

        def drag():
            x, y, width, height = place(slider)
            xdotool("mousemove", x + width // 2, y + height // 2)
            xdotool("mousedown", 1)
            xdotool("mousemove", x + width // 2, y + height // 2 - 20)
            xdotool("mouseup", 1)

        def mark():
            act(controls["Tempo scale and key help"], "Press")
            xdotool("mousemove", left + 240, top + 330)  # the mark 208
            xdotool("click", 1)

        for what, doing in (("a key", key), ("the wheel", wheel), ("a drag", drag),
                            ("a tempo mark", mark)):
            before = tempo()[1]
            events = heard.after(doing, 3)
            after = tempo()[1]
            print("%s: %s to %s, heard %s" % (what, before, after, events))
            values = [e for e in events if e[0].startswith("object:property-change")]
            texts = [e for e in events if e[0].startswith("object:text-changed")]
            expect(what + ": the value changes heard", values,
                   [("object:property-change:accessible-value", "Tempo", "")])
            expect(what + ": the text changes heard", texts,
                   [("object:text-changed:delete", "Tempo, beats per minute", before),
                    ("object:text-changed:insert", "Tempo, beats per minute", after)])
        expect("the mark's tempo", tempo(), (208, "208"))

        act(controls["Close"], "Press")
        expect("the close button ends the program: its status", program.wait(timeout=15), 0)
    except Exception as error:  # a missing control, a dead program, a timeout
        failures.append(repr(error))
        print("FAILED: %r" % (error,))
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()

    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
