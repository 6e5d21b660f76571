#!/usr/bin/env python3
"""Sync benchmarks: prints each figure as a ratio to its peer tool.

  scan   20 000 files in 2 000 folders on each side, nothing to copy:
         `dravane sync --list` / `rsync -rtn --modify-window=2` run both ways.
         Goal: at most 0.6.
  copy   1 GiB in 256 files to an empty side: `dravane sync` / `cp -p -r`.
         Goal: at most 1.1.
  memory peak resident size of the scan. Goal: under 40 MB.

Usage: bench/sync/sync_bench.py [--build BUILD] [--work DIR] [--runs N] [--skip-copy]
The work folder (default: a new folder under /var/tmp) should be on a real
disk, not a RAM disk, and is removed afterwards.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def make_tree(root, folders, files_per_folder, size, mtime):
    data = b"x" * size
    for f in range(folders):
        folder = os.path.join(root, "d%02d" % (f % 40), "f%04d" % f)
        os.makedirs(folder, exist_ok=True)
        for n in range(files_per_folder):
            path = os.path.join(folder, "file%02d.dat" % n)
            with open(path, "wb") as out:
                out.write(data)
            os.utime(path, (mtime, mtime))


def best_time(command, runs, prepare=None, env=None):
    best = None
    for _ in range(runs):
        if prepare:
            prepare()
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        took = time.perf_counter() - start
        best = took if best is None else min(best, took)
    return best


def peak_rss_kb(command, env):
    out = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    return int(out.stderr.strip().splitlines()[-1])


def setup_run_path(work, build, computer):
    """A drive-shaped run path whose bundle is the build's, with the computer
    folder stored for this computer."""
    run = os.path.join(work, "run")
    os.makedirs(run, exist_ok=True)
    bundle = os.path.join(build, "drive", "HalvexDravane.app")
    link = os.path.join(run, "HalvexDravane.app")
    if not os.path.islink(link):
        os.symlink(bundle, link)
    dravane = os.path.join(bundle, "Contents", "Linux", "dravane")
    env = dict(os.environ, HALVEX_ASSUME_USB="1", LC_ALL="C")
    base = [dravane, "--run-path", run, "sync"]
    subprocess.run(base + ["--computer-folder", computer, "--subfolders", "--no-log", "--list", "--yes"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    return run, base, env


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(TOP, "build"))
    parser.add_argument("--work", default=None)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--skip-copy", action="store_true")
    args = parser.parse_args()

    work = args.work or tempfile.mkdtemp(prefix="halvex-sync-bench-", dir="/var/tmp")
    try:
        computer = os.path.join(work, "computer")
        # The drive folder is "<run path>/Sync Folder" in the English table.
        run_drive = os.path.join(work, "run", "Sync Folder")
        print("building trees in", work, flush=True)
        make_tree(computer, 2000, 10, 64, 1_600_000_000)
        make_tree(run_drive, 2000, 10, 64, 1_600_000_000)
        run, base, env = setup_run_path(work, args.build, computer)

        ours = best_time(base + ["--list"], args.runs, env=env)
        peer = best_time(["rsync", "-rtn", "--modify-window=2", computer + "/", run_drive + "/"], args.runs) + \
            best_time(["rsync", "-rtn", "--modify-window=2", run_drive + "/", computer + "/"], args.runs)
        rss = peak_rss_kb(base + ["--list"], env)
        print("scan   dravane %.3f s, rsync both ways %.3f s, ratio %.2f (goal <= 0.6)" % (ours, peer, ours / peer))
        print("memory peak %.1f MB (goal < 40 MB)" % (rss / 1024.0))

        if not args.skip_copy:
            shutil.rmtree(computer)
            shutil.rmtree(run_drive)
            os.makedirs(run_drive)
            chunk = os.urandom(1 << 20)
            for n in range(256):
                folder = os.path.join(computer, "g%02d" % (n // 32))
                os.makedirs(folder, exist_ok=True)
                with open(os.path.join(folder, "blob%03d.bin" % n), "wb") as out:
                    for _ in range(4):
                        out.write(chunk)
            target = os.path.join(work, "cp-target")

            def empty_drive():
                shutil.rmtree(run_drive)
                os.makedirs(run_drive)
                subprocess.run(["sync"], check=True)

            def empty_target():
                shutil.rmtree(target, ignore_errors=True)
                subprocess.run(["sync"], check=True)

            ours = best_time(base, args.runs, prepare=empty_drive, env=env)
            peer = best_time(["cp", "-p", "-r", computer, target], args.runs, prepare=empty_target)
            print("copy   dravane %.3f s, cp -p -r %.3f s, ratio %.2f (goal <= 1.1)" % (ours, peer, ours / peer))
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
