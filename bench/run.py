#!/usr/bin/env python3
"""Every speed figure of the suite as a ratio to its peer tool, in one run.

  backup    5 000 files, 216 MB (half text, half random) to an empty set:
            the backup engine / `zip -q -r` of the tree.            goal <= 0.5
  restore   that whole set to an empty folder:
            the restore engine / `unzip -q` of zip's archive.       goal <= 0.6
  unchanged 20 000 unchanged files: a backup with nothing to do /
            `rsync -rtn` of the tree against a copy.                goal <= 1.0
  scan      200 000 files in 20 000 folders each side, nothing to copy:
            `dravane sync --list` / `rsync -rtn` both ways, and its peak memory.
  copy      20 000 files of 2 KB to an empty drive folder:
            `dravane sync` / `rsync -rt`.
  firstsync the same first sync onto a real disk, where flushes cost: an
            ext4 folder, and exFAT (exfat-fuse on a loop device, as root):
            `dravane sync` / `rsync -rt && sync`.                   goal <= 1.2
  drive     the FAT32 image made by `make-drive.sh --image`, mounted with
            fusefat: the drive's size (goal <= 100 MB), the launcher's first start
            (empty cache: the programs copied off the drive) and a warm one,
            `sh HalvexDravane.sh --cli version`.
  window    the real sync window with 100 000 rows, each direction, offscreen
            and on an X server (xvfb-run): resident and peak memory
            (goal: peak <= 100 MB), the longest wait of its event loop and repaint
            during the fill (goal < 100 ms), the slowest sort (goal < 500 ms);
            then the real HalvexDravane under xvfb-run, File Sync and Show
            Details clicked as the journeys find them: its peak (VmHWM) once
            the scan has ended and the list is full, each direction.
  service   update checks a second (`wrk`) on one kept-alive connection and
            over 50: halvex-update-service / nginx serving the same reply as
            a static file; both log each request and use every processor.
            goal >= 1 000 a second on one connection

Ours and the peer run alternately, --runs times each; the figures are medians.
Everything runs on tmpfs (default: a new folder in /dev/shm), so that the
disk's swings do not decide.

Usage: bench/run.py [--build BUILD] [--work DIR] [--runs N] [--only NAME,...] [--disk DIR] [--no-build]
"""
import argparse
import filecmp
import os
import random
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIGURES = ["backup", "restore", "unchanged", "scan", "copy", "firstsync", "drive", "window", "service"]


def measure(command, cwd=None, env=None):
    """Wall seconds, CPU seconds and peak resident KB of one run."""
    start = time.perf_counter()
    child = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("failed: %s" % " ".join(command))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def alternate(runs, ours, peer, before_ours=None, before_peer=None):
    """Runs both in turn; answers the median (wall, cpu, peak KB) of each."""
    mine, theirs = [], []
    for _ in range(runs):
        if before_ours:
            before_ours()
        mine.append(ours())
        if before_peer:
            before_peer()
        theirs.append(peer())
    med = lambda rows: tuple(statistics.median(r[i] for r in rows) for i in range(3))
    return med(mine), med(theirs)


def report(name, ours, peer, goal, note=""):
    ratio = ours[0] / peer[0]
    print("%-9s ours %.3f s (%.2f s CPU), peer %.3f s (%.2f s CPU), ratio %.2f  goal %s%s"
          % (name, ours[0], ours[1], peer[0], peer[1], ratio, goal, note), flush=True)


def make_mixed_tree(root, files, total):
    rng = random.Random(7)
    size = total // files
    words = b"backup restore archive generation folder drive profile category "
    text = (words * (size // len(words) + 1))[:size]
    for i in range(files):
        folder = os.path.join(root, "d%03d" % (i // 100))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "f%05d.%s" % (i, "bin" if i % 2 else "txt")), "wb") as out:
            out.write(rng.randbytes(size) if i % 2 else text)


def make_flat_tree(root, folders, per_folder, size, mtime):
    data = b"x" * size
    for f in range(folders):
        folder = os.path.join(root, "d%02d" % (f % 40), "f%05d" % f)
        os.makedirs(folder, exist_ok=True)
        for n in range(per_folder):
            path = os.path.join(folder, "file%02d.dat" % n)
            with open(path, "wb") as out:
                out.write(data)
            if mtime:
                os.utime(path, (mtime, mtime))


def reset(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)


def same_tree(a, b):
    compare = filecmp.dircmp(a, b)
    if compare.left_only or compare.right_only or compare.diff_files or compare.funny_files:
        return False
    if filecmp.cmpfiles(a, b, compare.common_files, shallow=False)[1]:
        return False
    return all(same_tree(os.path.join(a, d), os.path.join(b, d)) for d in compare.common_dirs)


def bench_backup(work, tools, runs, only):
    src, drive, archive = os.path.join(work, "src"), os.path.join(work, "drive"), os.path.join(work, "all.zip")
    make_mixed_tree(src, 5000, 216 * 1000 * 1000)
    backup = [tools["backup_bench"], "backup", src, os.path.join(drive, "Backup"), "Bench"]

    def empty():
        reset(drive)
        if os.path.exists(archive):
            os.remove(archive)
    if "backup" in only:
        ours, peer = alternate(runs, lambda: measure(backup), lambda: measure(["zip", "-q", "-r", archive, "src"], cwd=work),
                               before_ours=empty, before_peer=empty)
        report("backup", ours, peer, "<= 0.5")
    empty()
    measure(backup)
    measure(["zip", "-q", "-r", archive, "src"], cwd=work)
    current = os.path.join(drive, "Backup", "Bench", "Current Backup")
    for folder, _, names in os.walk(current):
        for name in names:
            with zipfile.ZipFile(os.path.join(folder, name)) as z:
                if z.testzip() is not None or len(z.namelist()) != 1:
                    sys.exit("damaged archive: " + name)
    if subprocess.run(["unzip", "-tqq", os.path.join(current, "d000", "f00000.txt.zip")],
                      stdout=subprocess.DEVNULL).returncode != 0:
        sys.exit("unzip -t refuses an archive")

    if "restore" in only:
        out, unzipped = os.path.join(work, "restored"), os.path.join(work, "unzipped")
        restore = [tools["backup_bench"], "restore", current, out]
        ours, peer = alternate(runs, lambda: measure(restore),
                               lambda: measure(["unzip", "-q", archive, "-d", unzipped]),
                               before_ours=lambda: shutil.rmtree(out, ignore_errors=True),
                               before_peer=lambda: reset(unzipped))
        if not same_tree(src, out):
            sys.exit("the restore does not give back every byte")
        report("restore", ours, peer, "<= 0.6", "; every byte back, every archive passes zipfile")
        shutil.rmtree(out)
        shutil.rmtree(unzipped)
    shutil.rmtree(drive)
    shutil.rmtree(src)
    os.remove(archive)


def bench_unchanged(work, tools, runs):
    src, drive, copy = os.path.join(work, "src"), os.path.join(work, "drive"), os.path.join(work, "copy")
    make_mixed_tree(src, 20000, 20000 * 512)
    os.makedirs(drive)
    backup = [tools["backup_bench"], "backup", src, os.path.join(drive, "Backup"), "Bench"]
    measure(backup)
    shutil.copytree(src, copy, symlinks=True)
    ours, peer = alternate(runs, lambda: measure(backup), lambda: measure(["rsync", "-rtn", src + "/", copy + "/"]))
    report("unchanged", ours, peer, "<= 1.0")
    for folder in (src, drive, copy):
        shutil.rmtree(folder)


def sync_run_path(work, tools, computer, run=None):
    """A drive-shaped run path whose bundle is the build's, with the computer
    folder stored for this computer; answers the dravane command and its env.
    A run path of its own (a file system without links) gets the resources
    copied."""
    bundle = os.path.join(tools["build"], "drive", "HalvexDravane.app")
    if run is None:
        run = os.path.join(work, "run")
        os.makedirs(run, exist_ok=True)
        link = os.path.join(run, "HalvexDravane.app")
        if not os.path.islink(link):
            os.symlink(bundle, link)
    else:
        shutil.copytree(os.path.join(bundle, "Contents", "Resources"),
                        os.path.join(run, "HalvexDravane.app", "Contents", "Resources"), dirs_exist_ok=True)
    env = dict(os.environ, HALVEX_ASSUME_USB="1", LC_ALL="C")
    base = [tools["dravane"], "--run-path", run, "sync"]
    subprocess.run(base + ["--computer-folder", computer, "--subfolders", "--no-log", "--list", "--yes"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    return base, env, os.path.join(run, "Sync Folder")


def bench_scan(work, tools, runs):
    computer = os.path.join(work, "computer")
    drive = os.path.join(work, "run", "Sync Folder")
    make_flat_tree(computer, 20000, 10, 64, 1_600_000_000)
    make_flat_tree(drive, 20000, 10, 64, 1_600_000_000)
    base, env, _ = sync_run_path(work, tools, computer)

    def both_ways():
        a = measure(["rsync", "-rtn", "--modify-window=2", computer + "/", drive + "/"])
        b = measure(["rsync", "-rtn", "--modify-window=2", drive + "/", computer + "/"])
        return a[0] + b[0], a[1] + b[1], max(a[2], b[2])
    ours, peer = alternate(runs, lambda: measure(base + ["--list"], env=env), both_ways)
    report("scan", ours, peer, "kept (0.30)", "; peak memory %.1f MB" % (ours[2] / 1024.0))
    shutil.rmtree(os.path.join(work, "run"))
    shutil.rmtree(computer)


def bench_copy(work, tools, runs):
    computer = os.path.join(work, "computer")
    make_flat_tree(computer, 200, 100, 2048, 0)
    base, env, drive = sync_run_path(work, tools, computer)
    target = os.path.join(work, "rsync-target")
    ours, peer = alternate(runs, lambda: measure(base, env=env), lambda: measure(["rsync", "-rt", computer + "/", target + "/"]),
                           before_ours=lambda: reset(drive), before_peer=lambda: reset(target))
    report("copy", ours, peer, "kept (0.88)")
    for folder in (os.path.join(work, "run"), computer, target):
        shutil.rmtree(folder)


def flushed_rsync(source, target):
    wall, cpu, peak = measure(["rsync", "-rt", source + "/", target + "/"])
    start = time.perf_counter()
    subprocess.run(["sync"], check=True)
    return wall + time.perf_counter() - start, cpu, peak


def first_sync_on(name, top, computer, work, tools, runs):
    """The first sync of `computer` into a run path at `top`, against rsync
    and a flush into a folder beside it."""
    base, env, drive = sync_run_path(work, tools, computer, run=top)
    target = os.path.join(top, "rsync-target")

    def fresh(folder):
        reset(folder)
        subprocess.run(["sync"], check=True)
    ours, peer = alternate(runs, lambda: measure(base, env=env), lambda: flushed_rsync(computer, target),
                           before_ours=lambda: fresh(drive), before_peer=lambda: fresh(target))
    if not same_tree(computer, drive):
        sys.exit("the first sync onto %s is not the tree" % name)
    report("firstsync", ours, peer, "<= 1.2", " (%s, rsync -rt && sync)" % name)
    for folder in (drive, target):
        shutil.rmtree(folder)


def bench_first_sync(work, tools, runs, disk):
    computer = os.path.join(work, "computer")
    make_flat_tree(computer, 200, 100, 2048, 0)
    on_disk = tempfile.mkdtemp(prefix="halvex-firstsync-", dir=disk)
    try:
        kind = subprocess.run(["stat", "-f", "-c", "%T", on_disk], stdout=subprocess.PIPE, text=True).stdout.strip()
        first_sync_on(kind, on_disk, computer, work, tools, runs)
        if os.geteuid() != 0 or not shutil.which("mount.exfat-fuse"):
            print("firstsync exFAT skipped: needs root and exfat-fuse", flush=True)
            return
        image = os.path.join(on_disk, "exfat.img")
        mount = os.path.join(on_disk, "exfat")
        os.makedirs(mount)
        with open(image, "wb") as out:
            out.truncate(512 << 20)
        subprocess.run(["mkfs.exfat", "-c", "4K", image], check=True, stdout=subprocess.DEVNULL)
        loop = subprocess.run(["losetup", "-f", "--show", image], check=True, stdout=subprocess.PIPE,
                              text=True).stdout.strip()
        try:
            subprocess.run(["mount.exfat-fuse", loop, mount], check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            try:
                first_sync_on("exFAT", mount, computer, work, tools, runs)
            finally:
                subprocess.run(["umount", mount], check=False)
        finally:
            subprocess.run(["losetup", "-d", loop], check=False)
    finally:
        shutil.rmtree(on_disk, ignore_errors=True)
        shutil.rmtree(computer, ignore_errors=True)


def folder_bytes(top):
    return sum(os.lstat(os.path.join(folder, name)).st_size for folder, _, names in os.walk(top) for name in names)


def bench_drive(work, tools, runs):
    if not shutil.which("fusefat"):
        print("drive     skipped: needs fusefat", flush=True)
        return
    image = os.path.join(work, "drive.img")
    mount = os.path.join(work, "drive-mount")
    cache = os.path.join(work, "drive-cache")
    os.makedirs(mount)
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([os.path.join(TOP, "scripts", "make-drive.sh"), "--image", image, "256"], check=True,
                   env=dict(os.environ, HALVEX_BUILD_DIR=tools["build"]), **quiet)
    env = dict(os.environ, XDG_CACHE_HOME=cache, HALVEX_ASSUME_USB="1")
    start = ["sh", os.path.join(mount, "HalvexDravane.sh"), "--cli", "version"]

    def mounted():
        subprocess.run(["fusefat", "-o", "ro", image, mount], check=True, **quiet)

    def unmounted():
        subprocess.run(["fusermount", "-u", mount], check=True)

    def cold():
        # Nothing cached: neither the launcher's copy nor the image's pages.
        shutil.rmtree(cache, ignore_errors=True)
        unmounted()
        if os.geteuid() == 0:
            subprocess.run(["sync"], check=True)
            with open("/proc/sys/vm/drop_caches", "w") as drop:
                drop.write("3\n")
        mounted()
    mounted()
    try:
        size = folder_bytes(mount)
        first, warm = alternate(runs, lambda: measure(start, env=env), lambda: measure(start, env=env), before_ours=cold)
    finally:
        unmounted()
    print("drive     %.1f MB on the drive (goal <= 100 MB); first start %.3f s (%.2f s CPU), warm start %.3f s "
          "(%.2f s CPU), from a FAT32 image through fusefat"
          % (size / 1e6, first[0], first[1], warm[0], warm[1]), flush=True)
    for path in (mount, cache):
        shutil.rmtree(path, ignore_errors=True)
    os.remove(image)


def make_window_files(folder, files):
    """The files of window_bench's list: 2 000 bytes each, 100 a folder."""
    kinds = (".txt", ".jpg", ".pdf", ".mp3", ".cpp", ".png", ".doc", "")
    content = b"x" * 2000
    for i in range(files):
        sub = os.path.join(folder, "d%d" % (i // 1000), "e%d" % (i // 100 % 10))
        if i % 100 == 0:
            os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, "file %d%s" % (i, kinds[i % 8])), "wb") as out:
            out.write(content)


def program_window_setup(work, tools, direction, files):
    """A drive folder as the journeys lay it (the built bundle, the licence
    accepted, subfolders synced) with its computer folder stored in a HOME
    of its own, and `files` files on one side only: on the computer
    (to-drive) or in the drive's sync folder (to-computer). Answers the drive
    and the environment to start the program in."""
    top = os.path.join(work, "program-" + direction)
    home, drive = os.path.join(top, "home"), os.path.join(top, "STICK")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"), XDG_CACHE_HOME=os.path.join(home, ".cache"),
               XDG_RUNTIME_DIR=os.path.join(top, "run"), TMPDIR=os.path.join(top, "tmp"), LANG="C.UTF-8",
               LC_ALL="C.UTF-8", HALVEX_ASSUME_USB="1")
    for name in ("DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY", "HALVEX_UPDATE_URL"):
        env.pop(name, None)
    os.makedirs(env["TMPDIR"])
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
    shutil.copytree(os.path.join(tools["build"], "drive", "HalvexDravane.app"),
                    os.path.join(drive, "HalvexDravane.app"), symlinks=True)
    os.makedirs(os.path.join(drive, "Halvex Data"))
    with open(os.path.join(drive, "Halvex Data", "com.halvex.dravane.plist"), "w") as out:
        out.write('<?xml version="1.0" encoding="UTF-8" ?>\n<plist version="1.0"><dict><key>eula</key><true />'
                  '<key>CheckUpdate</key><false /><key>SyncSubfolders</key><true /></dict></plist>\n')
    computer = os.path.join(home, "Work")
    os.makedirs(computer)
    # Stored while both sides are empty, as the setup or the folder chooser
    # would; --list copies nothing.
    subprocess.run([tools["dravane"], "--run-path", drive, "sync", "--computer-folder", computer, "--list"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, timeout=60)
    usb = os.path.join(drive, "Sync Folder")
    os.makedirs(usb, exist_ok=True)
    make_window_files(usb if direction == "to-computer" else computer, files)
    return top, drive, env


def bench_window_program(work, tools, runs, files=100000):
    """The real HalvexDravane under xvfb-run: File Sync, Show Details, and
    the program's own peak (VmHWM) once the scan has ended and the list is
    full; both directions in turn, `runs` times each."""
    python = "/usr/bin/python3"
    have = all(shutil.which(t) for t in ("xvfb-run", "dbus-run-session", "xdotool"))
    if not have or subprocess.run([python, "-c", "import pyatspi"], stderr=subprocess.DEVNULL).returncode != 0:
        print("window    real program skipped: needs xvfb-run, dbus-run-session, xdotool and python3-pyatspi",
              flush=True)
        return
    driver = os.path.join(TOP, "bench", "sync", "window_program.py")
    setups = {d: program_window_setup(work, tools, d, files) for d in ("to-computer", "to-drive")}
    figures = {d: [] for d in setups}
    for _ in range(runs):
        for direction, (_, drive, env) in setups.items():
            # Twice at most: xvfb-run -a may pick a display number another
            # xvfb-run of the machine takes at the same moment.
            for attempt in (1, 2):
                out = subprocess.run(["timeout", "-k", "10", "300", "xvfb-run", "-a", "-s", "-screen 0 1280x1024x24",
                                      "dbus-run-session", "--", python, driver, drive, str(files)],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
                if out.returncode == 0:
                    break
                with open(os.path.join(setups[direction][0], "program.log"), errors="replace") as log:
                    said = log.read()[-2000:]
                print("window    the real sync window failed (%s), attempt %d: %s\nthe program said:\n%s"
                      % (direction, attempt, (out.stdout + out.stderr)[-2000:], said), flush=True)
            else:
                sys.exit("the real sync window failed twice")
            got = dict(line.split(" ", 1) for line in out.stdout.splitlines() if " " in line)
            if int(got["rows"]) != files:
                sys.exit("the real sync window listed %s rows of %d" % (got["rows"], files))
            figures[direction].append((float(got["peak_kb"]), float(got["rss_kb"]), float(got["fill_s"]),
                                       float(got["before_window_kb"])))
    for direction, rows in figures.items():
        peak, rss, fill, before = (statistics.median(r[i] for r in rows) for i in range(4))
        print("window    %d rows %s, real program under xvfb-run (accessibility on): peak %.1f MB (VmHWM; "
              "runs %s), %.1f MB resident after the fill of %.1f s, %.1f MB with the main window alone  "
              "goal peak <= 100 MB"
              % (files, direction, peak / 1024.0, " ".join("%.1f" % (r[0] / 1024.0) for r in rows), rss / 1024.0,
                 fill, before / 1024.0), flush=True)
    for top, _, _ in setups.values():
        shutil.rmtree(top)


def bench_window(work, tools):
    runs = [("to-drive", "offscreen", []), ("to-computer", "offscreen", [])]
    if shutil.which("xvfb-run"):
        runs += [("to-drive", "xcb", ["xvfb-run", "-a"]), ("to-computer", "xcb", ["xvfb-run", "-a"])]
    for direction, platform, wrapper in runs:
        out = subprocess.run(wrapper + [tools["window_bench"], os.path.join(work, "window"), "100000", direction],
                             check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                             env=dict(os.environ, QT_QPA_PLATFORM=platform)).stdout
        figures = dict(line.split(" ", 1) for line in out.splitlines() if " " in line)
        sorts = [int(v) for k, v in figures.items() if k.startswith("sort_")]
        print("window    %s rows %s (%s): %s MB resident (peak %s MB; %s MB before the window), %s rows seen during "
              "the fill of %s ms, event loop's longest wait %s ms, longest repaint %s ms, slowest sort %d ms  "
              "goals peak <= 100 MB, < 100 ms, < 500 ms"
              % (figures["rows"], direction, platform, figures["rss_mb"], figures["peak_rss_mb"],
                 figures["rss_before_window_mb"], figures["rows_seen_during_scan"], figures["fill_ms"],
                 figures["longest_event_loop_gap_ms"], figures["longest_repaint_ms"], max(sorts)), flush=True)


NGINX_STATIC = """
%(user)s
daemon off;
worker_processes auto;
pid %(prefix)s/nginx.pid;
error_log %(prefix)s/error.log;
events { worker_connections 1024; }
http {
  access_log %(prefix)s/access.log;
  client_body_temp_path %(prefix)s/temp/body;
  proxy_temp_path %(prefix)s/temp/proxy;
  fastcgi_temp_path %(prefix)s/temp/fastcgi;
  uwsgi_temp_path %(prefix)s/temp/uwsgi;
  scgi_temp_path %(prefix)s/temp/scgi;
  server {
    listen 127.0.0.1:%(port)d;
    root %(prefix)s/static;
    location = /check-update.php { default_type "text/xml; charset=utf-8"; add_header Cache-Control no-cache; }
  }
}
"""


def wait_for(condition, seconds=10):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            sys.exit("a server did not start")
        time.sleep(0.05)


def wrk_rate(url, connections, seconds):
    out = subprocess.run(["wrk", "-t", str(min(connections, 2)), "-c", str(connections), "-d", "%ds" % seconds, url],
                         check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    if "Non-2xx" in out or "Socket errors" in out:
        sys.exit("wrk saw failures:\n" + out)
    return float(next(line.split()[1] for line in out.splitlines() if line.startswith("Requests/sec:")))


def bench_service(work, tools, runs):
    if not shutil.which("wrk") or not (shutil.which("nginx") or os.path.exists("/usr/sbin/nginx")):
        sys.exit("the service figure needs wrk and nginx (scripts/setup.sh installs them)")
    os.chmod(work, 0o755)
    releases, prefix = os.path.join(work, "releases"), os.path.join(work, "nginx")
    os.makedirs(os.path.join(releases, "packages"))
    os.makedirs(os.path.join(prefix, "static"))
    os.makedirs(os.path.join(prefix, "temp"))
    with open(os.path.join(releases, "releases.list"), "w") as out:
        out.write("01 1.0.1 packages/HalvexDravane-1.0.1.zip %s\n" % ("ab" * 32))
    log = os.path.join(work, "service.log")
    with open(log, "w") as out:
        service = subprocess.Popen([tools["service"], "--root", releases, "--listen", "127.0.0.1:0"], stdout=out)
    nginx = None
    try:
        wait_for(lambda: open(log).readline().startswith("listening on"))
        query = "/check-update.php?id=01&ver=1.0.0"
        ours = "http://%s%s" % (open(log).readline().split()[2], query)
        reply = subprocess.run(["curl", "-sf", ours], check=True, stdout=subprocess.PIPE).stdout
        with open(os.path.join(prefix, "static", "check-update.php"), "wb") as out:
            out.write(reply)
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        user = "user nobody nogroup;" if os.getuid() == 0 else ""
        with open(os.path.join(prefix, "nginx.conf"), "w") as out:
            out.write(NGINX_STATIC % {"user": user, "prefix": prefix, "port": port})
        nginx = subprocess.Popen([shutil.which("nginx") or "/usr/sbin/nginx", "-p", prefix, "-c",
                                  os.path.join(prefix, "nginx.conf"), "-e", os.path.join(prefix, "error.log")])
        peer = "http://127.0.0.1:%d%s" % (port, query)
        wait_for(lambda: subprocess.run(["curl", "-sf", "-o", "/dev/null", peer]).returncode == 0)
        if subprocess.run(["curl", "-sf", peer], stdout=subprocess.PIPE).stdout != reply:
            sys.exit("nginx does not serve the service's reply")
        for name, connections in (("service1", 1), ("service50", 50)):
            mine, theirs = [], []
            for _ in range(runs):
                mine.append(wrk_rate(ours, connections, 3))
                theirs.append(wrk_rate(peer, connections, 3))
            a, b = statistics.median(mine), statistics.median(theirs)
            print("%-9s ours %.0f checks/s, nginx %.0f/s (static file), ratio %.2f  goal %s"
                  % (name, a, b, a / b, ">= 1000/s" if connections == 1 else "kept"), flush=True)
    finally:
        for server in (nginx, service):
            if server:
                server.terminate()
                server.wait()
    shutil.rmtree(releases)
    shutil.rmtree(prefix)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(TOP, "build"))
    parser.add_argument("--work", default=None)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only", default=",".join(FIGURES))
    parser.add_argument("--disk", default="/var/tmp", help="a folder on a real disk (ext4) for firstsync")
    parser.add_argument("--no-build", action="store_true", help="the build is up to date; do not build")
    args = parser.parse_args()
    only = set(args.only.split(","))
    build = os.path.abspath(args.build)

    if not args.no_build:
        # Only the programs the chosen figures run; the drive's figure lays
        # every program onto the drive.
        needs = {"backup": ["backup_bench"], "restore": ["backup_bench"], "unchanged": ["backup_bench"],
                 "scan": ["dravane"], "copy": ["dravane"], "firstsync": ["dravane"],
                 "window": ["window_bench", "HalvexDravane", "dravane"], "service": ["halvex-update-service"]}
        targets = sorted({t for name in only if name in needs for t in needs[name]})
        command = ["cmake", "--build", build, "--parallel", "2"]
        if "drive" not in only:
            command += ["--target"] + targets
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    tools = {
        "build": build,
        "dravane": os.path.join(build, "drive", "HalvexDravane.app", "Contents", "Linux", "dravane"),
        "backup_bench": os.path.join(build, "bench", "backup_bench"),
        "window_bench": os.path.join(build, "bench", "window_bench"),
        "service": os.path.join(build, "Linux", "service", "halvex-update-service"),
    }
    work = args.work or tempfile.mkdtemp(prefix="halvex-bench-", dir="/dev/shm")
    kind = subprocess.run(["stat", "-f", "-c", "%T", work], stdout=subprocess.PIPE, text=True).stdout.strip()
    print("work folder %s (%s), %d runs each, load %.2f %.2f %.2f" % ((work, kind, args.runs) + os.getloadavg()),
          flush=True)
    try:
        if only & {"backup", "restore"}:
            bench_backup(work, tools, args.runs, only)
        if "unchanged" in only:
            bench_unchanged(work, tools, args.runs)
        if "scan" in only:
            bench_scan(work, tools, args.runs)
        if "copy" in only:
            bench_copy(work, tools, args.runs)
        if "firstsync" in only:
            bench_first_sync(work, tools, args.runs, args.disk)
        if "drive" in only:
            bench_drive(work, tools, args.runs)
        if "window" in only:
            bench_window(work, tools)
            bench_window_program(work, tools, min(args.runs, 3))
        if "service" in only:
            bench_service(work, tools, args.runs)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    print("load at the end %.2f %.2f %.2f" % os.getloadavg())


if __name__ == "__main__":
    sys.exit(main())
