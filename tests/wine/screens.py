"""Screenshots of the test display and what they show: the pixels of one
screenshot, tests of a pixel's colour, the notification area's balloon, and
shooting until a condition holds. Without a compositor, a layered window is
drawn over the black root window, so each screen pixel shows the window's
premultiplied colour bytes directly."""
import os
import subprocess

import harness
from harness import wait_until

SHOTS = os.path.join(harness.BUILD_DIR, "screenshots")


class Screen:
    """The pixels of one screenshot."""

    def __init__(self, path):
        data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True,
                              stdout=subprocess.PIPE, timeout=60).stdout
        header = []
        at = 0
        while len(header) < 4:  # P6, width, height, maximum, separated by white space
            end = at
            while data[end:end + 1] not in (b" ", b"\n", b"\t", b"\r"):
                end += 1
            if end > at:
                header.append(data[at:end])
            at = end + 1
        self.width, self.height = int(header[1]), int(header[2])
        self.data = data[at:]

    def rgb(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def count(self, left, top, right, bottom, predicate):
        return sum(1 for y in range(top, bottom) for x in range(left, right)
                   if predicate(self.rgb(x, y)))


def white(p):
    return min(p) >= 250


def black(p):
    return max(p) <= 2


def grey(value, tolerance=2):
    return lambda p: all(abs(c - value) <= tolerance for c in p)


def info_sign(p):
    """The blue of the balloon's information sign."""
    return p[2] > 150 and p[0] < 120


def error_sign(p):
    """The red of the balloon's error sign."""
    return p[0] > 150 and p[1] < 90 and p[2] < 90


def balloon_pixels(screen):
    """White pixels of the notification area's window and balloon, at the top of the screen."""
    return screen.count(0, 0, screen.width, 200, white)


def balloon_icon_pixels(screen, colour):
    """Pixels of `colour` in the balloon's icon, below the notification area's own row of icons."""
    return screen.count(0, 44, 200, 200, colour)


def shoot(scene, name, ready, what, timeout=60, interval=0.1):
    """Screenshots the scene's display until `ready(screen)` holds; keeps the
    last one as NAME.png in SHOTS and returns it."""
    os.makedirs(SHOTS, exist_ok=True)
    path = os.path.join(SHOTS, name + ".png")

    def attempt():
        scene.screenshot(path)
        screen = Screen(path)
        return screen if ready(screen) else None
    return wait_until(attempt, timeout, what, interval=interval)
