"""Walking the accessibility tree (AT-SPI) of a running program, shared by
the journeys, the Wayland session test and the sync window's benchmark. A
control may go away while it is looked at; these calls then answer nothing
instead of raising."""

import pyatspi


def states(node):
    try:
        return node.getState()
    except Exception:  # the control went away while being looked at
        return None


def showing(node):
    s = states(node)
    return s is not None and s.contains(pyatspi.STATE_SHOWING)


def children(node):
    try:
        return [c for c in node if c is not None]
    except Exception:
        return []


def descendants(node, depth=0):
    # Deep enough for every window of the suite, bounded against a loop.
    if depth > 40:
        return
    for child in children(node):
        yield child
        yield from descendants(child, depth + 1)
