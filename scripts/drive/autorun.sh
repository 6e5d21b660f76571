#!/bin/sh
# Desktops that follow the autostart-on-media convention offer to run this
# file when the drive is mounted; it starts the suite through its launcher.
exec sh "$(dirname "$0")/HalvexDravane.sh" "$@"
