#!/usr/bin/env python3
"""Summary of the download benchmarks' runs.

    bench/download_summary.py RESULTS SIZE_MIB TOOL[:SPEED_GOAL[:CPU_GOAL]]...

RESULTS holds one line per run: "target tool run wall_s user_s sys_s". The first TOOL is the one
measured, the others its peers. Prints, per target, each tool's median throughput (MiB/s) and
median CPU time (user + system) per MiB, then the measured tool's ratios to each peer: speed as
the ratio of median throughputs (higher is better), CPU as the ratio of median CPU per MiB
(lower is better). A peer's SPEED_GOAL is the least speed ratio wanted, its CPU_GOAL the ratio
CPU should stay below; either is printed beside the ratio with "met" or "NOT met".
"""
import collections
import statistics
import sys


def parse_tool(arg):
    name, *goals = arg.split(":")
    speed = float(goals[0]) if goals and goals[0] else None
    cpu = float(goals[1]) if len(goals) > 1 and goals[1] else None
    return name, speed, cpu


def verdict(ok):
    return "met" if ok else "NOT met"


def main():
    if len(sys.argv) < 4:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    mib = float(sys.argv[2])
    tools = [parse_tool(a) for a in sys.argv[3:]]
    runs = collections.defaultdict(list)
    targets = []
    with open(sys.argv[1]) as f:
        for line in f:
            target, tool, _, wall, user, sys_s = line.split()
            if target not in targets:
                targets.append(target)
            runs[(target, tool)].append((float(wall), float(user) + float(sys_s)))

    subject = tools[0][0]
    for target in targets:
        rate, cpu = {}, {}
        for name, _, _ in tools:
            rows = runs[(target, name)]
            rate[name] = statistics.median(mib / max(w, 1e-9) for w, _ in rows)
            cpu[name] = statistics.median(c * 1000 / mib for _, c in rows)
        count = len(runs[(target, subject)])
        print(f"{target}, median of {count} runs:")
        for name, _, _ in tools:
            print(f"  {name:<8} {rate[name]:8.1f} MiB/s  {cpu[name]:7.3f} CPU ms/MiB")
        for name, speed_goal, cpu_goal in tools[1:]:
            speed = rate[subject] / rate[name]
            cpu_ratio = cpu[subject] / max(cpu[name], 1e-9)
            line = f"  {subject}/{name}: speed {speed:.2f}"
            if speed_goal is not None:
                line += f" (goal >= {speed_goal:.2f}: {verdict(speed >= speed_goal)})"
            line += f", CPU per MiB {cpu_ratio:.2f}"
            if cpu_goal is not None:
                line += f" (goal < {cpu_goal:.2f}: {verdict(cpu_ratio < cpu_goal)})"
            print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
