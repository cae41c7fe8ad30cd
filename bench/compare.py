#!/usr/bin/env python3
"""Runs the benchmarks and prints their tables (Markdown), also saved to BUILD/bench-results.md.

  engine   Google Benchmark: insertion and search against a memcpy of the result.
  tools    W1 (10,000 x 20 KB), W2 (200 x 1 MB), W3 (one 200 MB page): the two C floors, the
           command line, perl, python and sed, each round on fresh copies, the order of the
           tools rotating by one from round to round.
  scaling  W4: W1's shape at 1,000, 10,000 and 50,000 pages (or --w4-pages), both floors and
           the command line.
  window   The Qt window, off-screen (when it was built): filling File1, a Go run over W1.

Every tool's time runs until its pages are on stable storage: the floor and the command line
sync the file system themselves; each run is followed by `sync -f` on its folder (near zero
after those two), whose time is added. Ratios are taken to each floor of the same round, then
the median of those is shown. The first floor is the plain single-threaded one; the second keeps
each page open through its rename and closes it in a pool of threads (`floor -p`). Processor time (user + system, from GNU time) is shown too: on a
machine shared with other work it moves far less than the elapsed time.

With --fs ext4j or --fs xfs (as root), the corpus and the runs go to a loop-mounted journaled
ext4 or XFS made for the run in BUILD, and unmounted at the end.

Usage: compare.py --build DIR [--quick] [--rounds N] [--only engine,tools,scaling,window]
                  [--fs ext4j|xfs] [--tools floor,pool,cli,perl,python,sed] [--pool-threads N]
                  [--w4-pages 1000,10000,100000]
"""

import argparse
import hashlib
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time

from loop_fs import LoopFileSystem

HERE = os.path.dirname(os.path.abspath(__file__))
KB, MB = 1024, 1024 * 1024


def log(message):
    print(message, file=sys.stderr, flush=True)


# ----------------------------------------------------------------------------------- running


def run_timed(command, cwd, env=None):
    """Runs `command`; returns (seconds, peak resident set in bytes, processor seconds: user and
    system). Fails loudly on error.

    GNU time reports the peak: a child forked from this Python process would count Python's own
    memory as its peak, since the kernel keeps the largest size the process had before exec."""
    scratch = os.path.dirname(cwd)
    err_path = os.path.join(scratch, "stderr.txt")
    peak_path = os.path.join(scratch, "peak.txt")
    with open(err_path, "wb") as err:
        start = time.perf_counter()
        code = subprocess.call(["/usr/bin/time", "-f", "%M %U %S", "-o", peak_path, *command],
                               cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=err)
        seconds = time.perf_counter() - start
    if code != 0:
        sys.exit(f"{command[0]} failed ({code}):\n" + open(err_path).read())
    with open(peak_path) as f:
        peak, user, system = f.read().split()[-3:]
    return seconds, int(peak) * KB, float(user) + float(system)


def sync_folder(folder):
    start = time.perf_counter()
    subprocess.run(["sync", "-f", folder], check=True)
    return time.perf_counter() - start


def fresh_copy(master, work):
    if os.path.exists(work):
        shutil.rmtree(work)
    subprocess.run(["cp", "-a", master, work], check=True)
    sync_folder(work)


def tree_digest(folder):
    digest = hashlib.blake2b()
    for name in sorted(os.listdir(folder)):
        digest.update(name.encode() + b"\0")
        with open(os.path.join(folder, name), "rb") as f:
            while chunk := f.read(MB):
                digest.update(chunk)
    return digest.hexdigest()


def page_names(folder):
    return sorted(n for n in os.listdir(folder) if not n.startswith("."))


# ------------------------------------------------------------------------------------- tools


class Tools:
    def __init__(self, build, corpus, pool_threads):
        self.floor = os.path.join(build, "bench", "qv_floor")
        self.pool_threads = pool_threads
        self.cli = os.path.join(build, "cli", "quorvane-insert-cli")
        self.snippet = os.path.join(corpus, "snippet.txt")
        with open(self.snippet, "rb") as f:
            snippet = f.read()
        self.sed_script = os.path.join(corpus, "insert.sed")
        with open(self.sed_script, "wb") as f:
            f.write(b"s/\\(.*\\)<\\/body>/\\1\\r\\n" + sed_escape(snippet) + b"\\r\\n<\\/body>/\n")
        self.perl_env = dict(os.environ, QV_SNIPPET=snippet.decode("latin-1"))
        self.sed_env = dict(os.environ, LC_ALL="C")

    def command(self, tool, folder):
        """The command line and environment of `tool` over the pages of `folder` (run there)."""
        names = page_names(folder)
        if tool == "floor":
            return [self.floor, self.snippet, "."], None
        if tool == "pool":
            return [self.floor, "-p", str(self.pool_threads), self.snippet, "."], None
        if tool == "cli":
            return [self.cli, "-q", "--tag", "</body>", self.snippet, "."], None
        if tool == "perl":
            script = r"s/(.*)<\/body>/$1\r\n$ENV{QV_SNIPPET}\r\n<\/body>/s"
            return ["perl", "-0777", "-pi", "-e", script, "--", *names], self.perl_env
        if tool == "python":
            return [sys.executable, os.path.join(HERE, "peer_insert.py"), self.snippet,
                    *names], None
        if tool == "sed":
            return ["sed", "-z", "-i", "-f", self.sed_script, "--", *names], self.sed_env
        raise ValueError(tool)


def sed_escape(text):
    out = bytearray()
    for byte in text:
        c = bytes([byte])
        if c in (b"\\", b"/", b"&"):
            out += b"\\" + c
        elif c == b"\r":
            out += b"\\r"
        elif c == b"\n":
            out += b"\\n"
        else:
            out += c
    return bytes(out)


def measure(tools, tool_names, master, work_root, rounds, check):
    """Per tool: lists of seconds, peak bytes and processor seconds, one entry per round, and the
    ratios to each floor ("floor", "pool") of the same round. Round r runs the tools in their
    order rotated by r, so that none always runs first, on a cold or a warm machine."""
    results = {t: {"seconds": [], "peak": [], "cpu": [], "ratio": [], "ratio_pool": [],
                   "cpu_ratio": []} for t in tool_names}
    for round_index in range(rounds):
        shift = round_index % len(tool_names)
        order = tool_names[shift:] + tool_names[:shift]
        digests = {}
        for tool in order:
            work = os.path.join(work_root, tool)
            fresh_copy(master, work)
            command, env = tools.command(tool, work)
            seconds, peak, cpu = run_timed(command, work, env)
            seconds += sync_folder(work)
            entry = results[tool]
            entry["seconds"].append(seconds)
            entry["peak"].append(peak)
            entry["cpu"].append(cpu)
            if check and round_index == 0:
                digests[tool] = tree_digest(work)
            shutil.rmtree(work)
        line = []
        for tool in tool_names:
            entry = results[tool]
            seconds, cpu = entry["seconds"][-1], entry["cpu"][-1]
            entry["ratio"].append(seconds / results["floor"]["seconds"][-1])
            if "pool" in results:
                entry["ratio_pool"].append(seconds / results["pool"]["seconds"][-1])
            entry["cpu_ratio"].append(cpu / max(results["floor"]["cpu"][-1], 0.01))
            line.append(f"{tool} {seconds:.3f} s x{entry['ratio'][-1]:.2f}")
        log(f"  round {round_index + 1} ({', '.join(order)}): " + "; ".join(line))
        for tool, digest in digests.items():
            if digest != digests["cli"]:
                sys.exit(f"{tool} gave different bytes from the command line on {master}")
    return results


# ------------------------------------------------------------------------------------ tables


def fmt_seconds(s):
    return f"{s:.3f} s" if s < 10 else f"{s:.1f} s"


def fmt_mb(b):
    return f"{b / MB:.1f} MB" if b < 100 * MB else f"{b / MB:.0f} MB"


def tools_section(args, tools, corpus, work_root):
    rows = []
    workloads = [("W1", "w1", f"{args.w1_pages:,} pages x 20 KB"),
                 ("W2", "w2", f"{args.w2_pages:,} pages x 1 MB"),
                 ("W3", "w3", f"one page of {args.w3_mb} MB")]
    names = args.tools
    table = ["| Workload | Tool | Median time | Ratio to floor | Ratio to pooled floor |"
             " Processor time (user + system) | Ratio to floor | Peak memory |",
             "|---|---|---:|---:|---:|---:|---:|---:|"]
    for label, folder, description in workloads:
        log(f"{label}: {description}")
        results = measure(tools, names, os.path.join(corpus, folder), work_root, args.rounds,
                          check=True)
        for tool in names:
            r = results[tool]
            table.append(f"| {label} {description} | {TOOL_LABELS[tool]} | "
                         f"{fmt_seconds(statistics.median(r['seconds']))} | "
                         f"x{statistics.median(r['ratio']):.2f} | "
                         f"x{statistics.median(r['ratio_pool']):.2f} | "
                         f"{fmt_seconds(statistics.median(r['cpu']))} | "
                         f"x{statistics.median(r['cpu_ratio']):.2f} | {fmt_mb(max(r['peak']))} |")
        rows.append(results)
    return "\n".join(table)


def scaling_section(args, tools, corpus, work_root):
    table = ["| Pages | Floor, per page | Pooled floor, per page | Command line, per page |"
             " Ratio to floor | Ratio to pooled floor |"
             " Command line per page vs. the smallest run | Processor time per page, same |",
             "|---:|---:|---:|---:|---:|---:|---:|---:|"]
    base = base_cpu = None
    for count in args.w4_pages:
        log(f"W4: {count:,} pages x 20 KB")
        results = measure(tools, ["floor", "pool", "cli"], os.path.join(corpus, f"w4-{count}"),
                          work_root, args.rounds, check=False)
        floor = statistics.median(results["floor"]["seconds"]) / count
        pool = statistics.median(results["pool"]["seconds"]) / count
        cli = statistics.median(results["cli"]["seconds"]) / count
        cpu = statistics.median(results["cli"]["cpu"]) / count
        base = base or cli
        base_cpu = base_cpu or cpu
        table.append(f"| {count:,} | {floor * 1e6:.0f} us | {pool * 1e6:.0f} us | "
                     f"{cli * 1e6:.0f} us | x{statistics.median(results['cli']['ratio']):.2f} | "
                     f"x{statistics.median(results['cli']['ratio_pool']):.2f} | x{cli / base:.2f} | "
                     f"{cpu * 1e6:.0f} us, x{cpu / base_cpu:.2f} |")
    return "\n".join(table)


TOOL_LABELS = {"floor": "C floor (bench/floor.c)",
               "pool": "C floor, closes in a pool (floor -p)", "cli": "**quorvane-insert-cli**",
               "perl": "perl -0777 -pi", "python": "python3, bytes", "sed": "GNU sed -z -i"}
KIND_LABELS = ["tag near the end", "tag near the start", "no tag", "hostile: \"</bod\" x N",
               "hostile: \"</span>\" x N", "hostile: \"ody>\" x N",
               "dense: \"</body\" x N"] + [
               f"dense: (a^{n - 1} b) x N, tag a^{n}" for n in (4, 32, 95, 500, 10000)]


def engine_section(args, build):
    log("engine micro-benchmarks")
    output = subprocess.run(
        [os.path.join(build, "bench", "engine_bench"), "--benchmark_format=json",
         f"--benchmark_repetitions={args.engine_repetitions}",
         "--benchmark_report_aggregates_only=true",
         f"--benchmark_min_time={0.05 if args.quick else 0.2}"],
        check=True, capture_output=True, text=True).stdout
    medians = {}
    for b in json.loads(output)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            medians[b["run_name"]] = (b["cpu_time"], b.get("label", ""))
    def seconds(name):
        return medians[name][0]

    table = ["| Page | Tag | Insertion (search + pieces into a buffer) | find_last alone |"
             " memcpy of the result | Insertion / memcpy |", "|---|---|---:|---:|---:|---:|"]
    for name in sorted(medians, key=lambda n: [int(x) for x in n.split("/")[1:]]):
        parts = name.split("/")
        if parts[0] != "BM_Insert":
            continue
        size, kind = int(parts[1]), int(parts[2])
        insert = seconds(name)
        find = seconds(f"BM_FindLast/{size}/{kind}")
        copy = seconds(f"BM_Memcpy/{size}")
        page = f"{size // MB} MB" if size >= MB else f"{size // KB} KB"
        table.append(f"| {page} | {KIND_LABELS[kind]} | {fmt_time(insert)} | {fmt_time(find)} | "
                     f"{fmt_time(copy)} | x{insert / copy:.2f} |")
    return "\n".join(table)


def fmt_time(ns):
    if ns < 1e3:
        return f"{ns:.0f} ns"
    if ns < 1e6:
        return f"{ns / 1e3:.1f} us"
    return f"{ns / 1e6:.2f} ms"


def window_section(args, tools, build, corpus, work_root):
    program = os.path.join(build, "bench", "window_bench")
    if not os.path.exists(program):
        return "(not built: the Qt window needs Qt 6 Widgets)"
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

    def window(*arguments):
        out = subprocess.run([program, *arguments], check=True, capture_output=True, text=True,
                             env=env).stdout.split(maxsplit=1)
        return float(out[0]), out[1].strip()

    folder = os.path.join(corpus, f"list-{args.list_files}")
    if not os.path.exists(folder + ".complete"):
        log(f"window: writing a folder of {args.list_files:,} files")
        os.makedirs(folder, exist_ok=True)
        for i in range(args.list_files):
            open(os.path.join(folder, f"page{i:06d}.html"), "wb").close()
        open(folder + ".complete", "w").close()
    fills = []
    for round_index in range(args.rounds):
        seconds, count = window("list", folder)
        log(f"  round {round_index + 1}: File1 filled with {count} names in {seconds:.3f} s")
        fills.append(seconds)

    master = os.path.join(corpus, "w1")
    runs, cli_runs, ratios = [], [], []
    for round_index in range(args.rounds):
        work = os.path.join(work_root, "cli")
        fresh_copy(master, work)
        command, _ = tools.command("cli", work)
        cli_seconds = run_timed(command, work)[0] + sync_folder(work)
        shutil.rmtree(work)
        work = os.path.join(work_root, "window")
        fresh_copy(master, work)
        seconds, report = window("go", work, tools.snippet)
        seconds += sync_folder(work)
        shutil.rmtree(work)
        log(f"  round {round_index + 1}: Go {seconds:.3f} s, command line {cli_seconds:.3f} s "
            f"x{seconds / cli_seconds:.2f} ({report.strip()})")
        runs.append(seconds)
        cli_runs.append(cli_seconds)
        ratios.append(seconds / cli_seconds)
    return "\n".join([
        "| Measure | Median | Target |", "|---|---:|---:|",
        f"| File1 filled for a folder of {args.list_files:,} files | "
        f"{fmt_seconds(statistics.median(fills))} | under 1 s |",
        f"| Go over W1 ({args.w1_pages:,} pages), press to report | "
        f"{fmt_seconds(statistics.median(runs))} | |",
        f"| The command line on the same pages | {fmt_seconds(statistics.median(cli_runs))} | |",
        f"| Go / command line, round by round | x{statistics.median(ratios):.2f} | x1.30 |"])


# ------------------------------------------------------------------------------------ corpus


def make_corpus(args, corpus, sections):
    workloads = []
    if {"tools", "window"} & set(sections):
        workloads += [f"w1:{args.w1_pages}:{20 * KB}", f"w2:{args.w2_pages}:{MB}",
                      f"w3:1:{args.w3_mb * MB}"]
    if "scaling" in sections:
        workloads += [f"w4-{n}:{n}:{20 * KB}" for n in args.w4_pages]
    subprocess.run([sys.executable, os.path.join(HERE, "make_corpus.py"), corpus, *workloads],
                   check=True)


def machine(folder):
    def first(command):
        try:
            return subprocess.run(command, capture_output=True, text=True).stdout.strip()
        except OSError:
            return "?"

    memory = first(["sh", "-c", "free -g | awk '/Mem:/ {print $2}'"])
    cpu = first(["sh", "-c", "grep -m1 'model name' /proc/cpuinfo | cut -d: -f2"]).strip()
    fs = first(["findmnt", "-n", "-o", "SOURCE,FSTYPE,OPTIONS", "-T", folder])
    return (f"{os.cpu_count()} cores ({cpu}), {memory} GB memory, file system {fs}, "
            f"kernel {platform.release()}; load average at the start "
            f"{os.getloadavg()[0]:.1f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--quick", action="store_true", help="small workloads, to try the harness")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--only", default="engine,tools,scaling,window")
    parser.add_argument("--fs", choices=["ext4j", "xfs"],
                        help="run on a loop-mounted journaled ext4 or XFS (as root)")
    parser.add_argument("--pool-threads", type=int, default=4,
                        help="closing threads of the second floor")
    parser.add_argument("--w4-pages", help="the W4 sizes, e.g. 1000,10000,100000 "
                        "(default 1000,10000,50000)")
    parser.add_argument("--tools", default="floor,pool,cli,perl,python,sed",
                        help="the tools of the whole runs (both floors and cli always run)")
    args = parser.parse_args()
    args.w4_pages_option = args.w4_pages
    args.tools = ["floor", "pool", "cli"] + [t for t in args.tools.split(",")
                                             if t not in ("floor", "pool", "cli")]
    args.engine_repetitions = 5
    if args.quick:
        args.rounds = min(args.rounds, 3)
        args.w1_pages, args.w2_pages, args.w3_mb = 500, 10, 20
        args.w4_pages, args.list_files = [100, 500, 2500], 5000
        args.engine_repetitions = 3
    else:
        args.w1_pages, args.w2_pages, args.w3_mb = 10000, 200, 200
        args.w4_pages, args.list_files = [1000, 10000, 50000], 100000
    if args.w4_pages_option:
        args.w4_pages = [int(n) for n in args.w4_pages_option.split(",")]
    build = os.path.abspath(args.build)
    if args.fs:
        size = (3 if args.quick else 12) * 1024 * MB
        with LoopFileSystem(args.fs, build, size) as root:
            run(args, build, root)
    else:
        run(args, build, build)


def run(args, build, root):
    """Runs the sections, with the corpus and the work folders under `root`."""
    corpus = os.path.join(root, "corpus-quick" if args.quick else "corpus")
    work_root = os.path.join(root, "bench-work")
    os.makedirs(work_root, exist_ok=True)
    sections = args.only.split(",")

    report = [f"Machine: {machine(work_root)}.", ""]
    if "engine" in sections:
        report += ["### Engine", "", engine_section(args, build), ""]
    if {"tools", "scaling", "window"} & set(sections):
        make_corpus(args, corpus, sections)
        tools = Tools(build, corpus, args.pool_threads)
    if "tools" in sections:
        report += [f"### Whole runs ({args.rounds} rounds, each tool on fresh copies)", "",
                   tools_section(args, tools, corpus, work_root), ""]
    if "scaling" in sections:
        report += ["### W4: time per page as the site grows", "",
                   scaling_section(args, tools, corpus, work_root), ""]
    if "window" in sections:
        report += ["### Window (off-screen)", "",
                   window_section(args, tools, build, corpus, work_root), ""]
    report.append(f"Load average at the end: {os.getloadavg()[0]:.1f}.")
    text = "\n".join(report)
    print(text)
    with open(os.path.join(build, "bench-results.md"), "w") as f:
        f.write(text + "\n")


if __name__ == "__main__":
    main()
