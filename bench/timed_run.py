#!/usr/bin/env python3
"""Runs one command and prints "wall_s user_s sys_s" with microsecond resolution.

    bench/timed_run.py LOG COMMAND [ARG...]

Wall time is taken on the monotonic clock just before the command is spawned and just after it
has been reaped; user and system CPU seconds come from the rusage of that one child (wait4), so
they cover the command and nothing else. The command's stdout and stderr go to LOG. The exit
status is the command's (128 + signal number when a signal ended it).
"""
import os
import sys
import time


def main() -> int:
    if len(sys.argv) < 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    log, argv = sys.argv[1], sys.argv[2:]
    actions = [
        (os.POSIX_SPAWN_OPEN, 0, os.devnull, os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, log, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
        (os.POSIX_SPAWN_DUP2, 1, 2),
    ]
    start = time.perf_counter_ns()
    try:
        pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions)
    except OSError as e:
        print(f"timed_run.py: {argv[0]}: {e.strerror}", file=sys.stderr)
        return 127
    _, status, usage = os.wait4(pid, 0)
    wall = (time.perf_counter_ns() - start) / 1e9
    print(f"{wall:.6f} {usage.ru_utime:.6f} {usage.ru_stime:.6f}")
    return os.WEXITSTATUS(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status)


if __name__ == "__main__":
    sys.exit(main())
