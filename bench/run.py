#!/usr/bin/env python3
"""Benchmark of a whole brisvel run against `wc -l` and a literal reader.

Builds brisvel at -O3 (Release) and at -O2 (RelWithDebInfo, as packagers
build), both again reading their inputs in text mode as the Windows exe
does (BRISVEL_TEXT_MODE), and, on a processor with AVX-512 VBMI, runs all of
them again with the kernel capped at AVX2 (BRISVEL_KERNEL=avx2), to show the
processors most people have.
First it times each skipping kernel on one piece of "+" lines in the cache
(GB/s, both optimisation levels). Then it generates seeded sieve files
(30 MB and 300 MB with LF line ends, 300 MB with CR LF) and removal lists in
a temporary folder, checks that every build and the literal reader write
identical work files, then times the builds, the literal reader, the bare
read() of the file through the tool's block (the floor under any run) and
`wc -l` on the file that dominates, interleaved, round after round, and
prints medians, MB/s, ratios (the median of the ratios within each round)
and peak resident memory; for each text-mode build, the median of its
ratios to the ordinary build of the same level. The long-list case does
the same for a small sieve file that keeps about 9,000 pairs and a removal
list of 1,000,000 lines in the range, timed against `wc -l` on the list; its
literal reader scans the whole table for every line, as brisvel did before
it indexed the table. The list cases also hold the shapes that once slowed
the index down: one pair stored 9,999 times and named on every line, and n
in arithmetic progression with steps a multiplicative hash clusters on.

The sieve cases are timed twice, in two states of the page cache: "as
written" (the generator's small writes leave the file in 4 KiB pages) and
"re-read" (the file dropped from the cache with POSIX_FADV_DONTNEED and read
back once with cat, which gives the kernel's large folios). The kernel's
copy costs about three times more in the first state, so every ratio moves
with it.

The utf16 case reads the largest CR LF sieve file and a removal list saved
as Windows PowerShell 5.1 and Notepad's "Unicode" save them (UTF-16 LE with
a byte-order mark, twice the bytes), against the same text in ASCII, paired
round by round: the time of each build on the UTF-16 files against its time
on the ASCII ones.

The windows case (not run unless asked for, as it needs MinGW-w64 and Wine)
builds the 64-bit Windows exe and a plain fread()-and-count program with
the same compiler and flags, and times both under Wine on the largest LF
and CR LF files, and the exe on the CR LF file saved as UTF-16.

    python3 bench/run.py [--rounds 7] [--sizes 30,300] [--cases kernels,sieve,list,utf16,windows] [--keep]
"""
import argparse
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "bench")
TOOLS = {}
# The long-list case as brisvel ran it when it scanned the whole table for
# every line of the removal list, for comparison.
BEFORE_INDEX = "8.5 s, about 1080x wc -l (measured on 2026-12-09 on this list, same machine kind)"


def has_avx512_vbmi():
    with open("/proc/cpuinfo") as info:
        return any(line.startswith("flags") and " avx512vbmi " in line + " " for line in info)


def build_variant(name, build_type, text=False, toolchain=None):
    folder = os.path.join(ROOT, "build", name)
    extra = [f"-DCMAKE_TOOLCHAIN_FILE={toolchain}"] if toolchain else []
    subprocess.run(["cmake", "-S", ROOT, "-B", folder, f"-DCMAKE_BUILD_TYPE={build_type}", "-DBUILD_TESTING=OFF",
                    "-DBRISVEL_BENCH=ON", f"-DBRISVEL_TEXT_MODE={'ON' if text else 'OFF'}",
                    *extra], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", folder, "-j2"], check=True, stdout=subprocess.DEVNULL)
    return folder


def build():
    """Builds the variants; returns the helpers and, by label, the brisvel of each variant and the environment
    it runs in."""
    variants = [("-O3", "bench", "Release"), ("-O2", "bench-o2", "RelWithDebInfo")]
    variants += [(f"{label} text", f"{name}-text", build_type) for label, name, build_type in variants]
    folders = {label: build_variant(name, build_type, label.endswith(" text")) for label, name, build_type in variants}
    main = folders["-O3"]
    TOOLS.update({name: os.path.join(main, *path) for name, path in
                  [("literal", ["bench", "literal_brisvel"]), ("generate", ["bench", "sieve_generate"]),
                   ("measure", ["bench", "measure"]), ("floor", ["bench", "read_floor"])]})
    TOOLS["kernels"] = {label: os.path.join(folder, "bench", "kernels") for label, folder in folders.items()
                        if "text" not in label}
    runs = [(label, folder, {}) for label, folder in folders.items()]
    if has_avx512_vbmi():
        runs += [(label.replace(" text", " AVX2 text") if "text" in label else f"{label} AVX2", folder,
                  {"BRISVEL_KERNEL": "avx2"}) for label, folder in folders.items()]
    TOOLS["brisvel"] = {label: (os.path.join(folder, "brisvel"), env) for label, folder, env in runs}
    return TOOLS


def kernel_speeds(tools):
    """Prints each kernel's speed on a piece in the cache, at each optimisation level."""
    print("\nkernels on a 256 KiB piece of + lines in the cache, GB/s (best of 7)")
    speeds = {label: dict(line.split() for line in subprocess.run([path], check=True, capture_output=True,
                                                                    text=True).stdout.splitlines())
              for label, path in tools["kernels"].items()}
    print(f"  {'':10}" + "".join(f"{label:>8}" for label in speeds))
    for kernel in next(iter(speeds.values())):
        print(f"  {kernel:10}" + "".join(f"{float(s[kernel]):8.2f}" for s in speeds.values()))


def timed(command, cwd, env=None):
    """Runs command in cwd through the measuring helper, with env added to the environment; returns (seconds,
    peak resident KiB)."""
    result = subprocess.run([TOOLS["measure"], *command], cwd=cwd, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, env={**os.environ, **(env or {})})
    if result.returncode != 0:
        sys.exit(f"{command[0]} failed in {cwd}")
    seconds, kib = result.stderr.split()[-2:]
    return float(seconds), int(kib)


def fresh_output(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def machine():
    model, flags = "unknown processor", ""
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name") and model == "unknown processor":
                model = line.split(":", 1)[1].strip()
            if line.startswith("flags") and not flags:
                flags = line
    vector = "AVX-512 VBMI" if " avx512vbmi " in flags + " " else "AVX2, no AVX-512 VBMI" if " avx2 " in flags else "no AVX2"
    return f"{model} ({vector}), {os.cpu_count()} cores, {platform.system()} {platform.release()}"


def resident_share(path):
    """The share of the file's pages that are in the page cache, from fincore."""
    out = subprocess.run(["fincore", "--bytes", "--noheadings", "--output", "RES,SIZE", path], check=True,
                         capture_output=True, text=True).stdout.split()
    return int(out[0]) / max(1, int(out[1]))


def reread(path):
    """Drops the file from the page cache and reads it back once with cat."""
    with open(path, "rb") as f:
        os.fsync(f.fileno())
        os.posix_fadvise(f.fileno(), 0, 0, os.POSIX_FADV_DONTNEED)
    dropped = resident_share(path)
    subprocess.run(["cat", path], check=True, stdout=subprocess.DEVNULL)
    return f"dropped to {dropped:.0%} resident, read back with cat: {resident_share(path):.0%} resident"


def check_identical(tools, folder, args, label):
    """Runs every build and the literal reader once (also warming the cache); returns the work lines written."""
    out_literal = fresh_output(os.path.join(folder, "out-literal"))
    timed([tools["literal"], *args, out_literal], folder)
    expected = open(os.path.join(out_literal, "worktodo.ini"), "rb").read()
    for variant, (brisvel, env) in tools["brisvel"].items():
        out = fresh_output(os.path.join(folder, "out-brisvel"))
        timed([brisvel, *args, out], folder, env)
        if open(os.path.join(out, "worktodo.ini"), "rb").read() != expected:
            sys.exit(f"{label}: brisvel {variant} and the literal reader wrote different work files")
    return expected.count(b"\n")


def bench_case(tools, folder, label, counted, written, rounds, literal_rounds, state):
    with open(os.path.join(folder, "range")) as f:
        n_min, n_max = f.read().split()
    args = [n_min, n_max, "45", "1"]
    out = os.path.join(folder, "out-brisvel")
    measured = os.path.join(folder, counted)
    megabytes = os.path.getsize(measured) / 1e6
    commands = {f"brisvel {variant}": ([brisvel, *args, out], env) for variant, (brisvel, env) in tools["brisvel"].items()}
    commands["read floor"] = ([tools["floor"], measured], {})
    results = {name: [] for name in [*commands, "literal", "wc -l"]}
    ratios = {name: [] for name in [*commands, "literal"]}
    for round_number in range(rounds):
        wc = timed(["wc", "-l", measured], folder)
        results["wc -l"].append(wc)
        for name, (command, env) in commands.items():
            fresh_output(out)
            results[name].append(timed(command, folder, env))
            ratios[name].append(results[name][-1][0] / wc[0])
        if round_number < literal_rounds:
            literal = timed([tools["literal"], *args, fresh_output(os.path.join(folder, "out-literal"))], folder)
            results["literal"].append(literal)
            ratios["literal"].append(literal[0] / wc[0])

    print(f"\n{label}{state}: {counted} {megabytes:.0f} MB, range {n_min} =< n < {n_max}, {written} work lines (identical)")
    print(f"  {'':16} {'median s':>9} {'MB/s':>8} {'x wc -l':>8} {'peak MiB':>9}")
    for name, runs in results.items():
        if not runs:
            continue
        seconds = statistics.median(s for s, _ in runs)
        peak = max(kib for _, kib in runs) / 1024
        ratio = f"{statistics.median(ratios[name]):8.2f}" if name in ratios else f"{1:8.2f}"
        print(f"  {name:16} {seconds:9.3f} {megabytes / seconds:8.0f} {ratio} {peak:9.1f}")
    for name in results:
        if name.endswith(" text"):
            ordinary = name[:-len(" text")]
            within = statistics.median(t[0] / o[0] for t, o in zip(results[name], results[ordinary]))
            print(f"  {name} takes {within:.2f}x the time of {ordinary} (median of the rounds' ratios)")
    if results["literal"]:
        speedup = (statistics.median(l[0] for l in results["literal"]) /
                   statistics.median(f[0] for f in results["brisvel -O3"]))
        print(f"  brisvel -O3 is {speedup:.1f}x faster than the literal reader")
    if label == "long removal list":
        print(f"  before the table was indexed: {BEFORE_INDEX}")


def utf16_copy(folder):
    """A copy of the folder's inputs in UTF-16 LE with a byte-order mark, as Windows PowerShell saves text."""
    wide = folder + "-utf16"
    os.makedirs(wide, exist_ok=True)
    for name in ("drask.dat", "recent.txt"):
        with open(os.path.join(folder, name), "rb") as f:
            text = f.read()
        with open(os.path.join(wide, name), "wb") as f:
            f.write(b"\xff\xfe" + text.decode("latin-1").encode("utf-16-le"))
    return wide


def bench_utf16(tools, folder, label, rounds):
    """Times every build on the UTF-16 copy of the inputs against the ASCII ones, paired."""
    with open(os.path.join(folder, "range")) as f:
        args = [*f.read().split(), "45", "1"]
    wide = utf16_copy(folder)
    outputs = {}
    for where in (folder, wide):
        out = fresh_output(os.path.join(where, "out-brisvel"))
        timed([tools["brisvel"]["-O3"][0], *args, out], where)
        outputs[where] = open(os.path.join(out, "worktodo.ini"), "rb").read()
    if outputs[folder] != outputs[wide]:
        sys.exit(f"{label}: the UTF-16 inputs gave other work lines than the ASCII ones")
    megabytes = os.path.getsize(os.path.join(wide, "drask.dat")) / 1e6
    print(f"\n{label}: drask.dat and recent.txt in UTF-16 ({megabytes:.0f} MB) against the same text in ASCII")
    print(f"  {'':16} {'ASCII s':>9} {'UTF-16 s':>9} {'x ASCII':>8}")
    for variant, (brisvel, env) in tools["brisvel"].items():
        times = {folder: [], wide: []}
        for _ in range(rounds):
            for where in (folder, wide):
                out = fresh_output(os.path.join(where, "out-brisvel"))
                times[where].append(timed([brisvel, *args, out], where, env)[0])
        within = statistics.median(w / a for w, a in zip(times[wide], times[folder]))
        print(f"  brisvel {variant:8} {statistics.median(times[folder]):9.3f} {statistics.median(times[wide]):9.3f} "
              f"{within:8.2f}")
    shutil.rmtree(wide)


def bench_windows(folder, label, rounds):
    """Times the Windows exe and the fread() floor built like it, both under Wine, on one generated file."""
    with open(os.path.join(folder, "range")) as f:
        n_min, n_max = f.read().split()
    wine = shutil.which("wine64") or "/usr/lib/wine/wine64"
    os.environ.update({"WINEPREFIX": os.path.join(TOOLS["windows"], "wine-prefix"), "WINEDEBUG": "-all",
                       "WINEDLLOVERRIDES": "mscoree,mshtml="})
    # A server that stays up, so that no run waits for one to start or stop.
    server = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
    subprocess.Popen([server, "-p"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    exe = os.path.join(TOOLS["windows"], "brisvel.exe")
    floor = os.path.join(TOOLS["windows"], "bench", "fread_count.exe")
    out = "Z:" + os.path.join(folder, "out-windows").replace("/", "\\")
    commands = {"brisvel.exe": ([wine, exe, n_min, n_max, "45", "1", out], folder),
                "fread_count.exe": ([wine, floor, "drask.dat"], folder)}
    if "CR LF" in label:
        commands["brisvel.exe UTF-16"] = ([wine, exe, n_min, n_max, "45", "1", out], utf16_copy(folder))
    results = {name: [] for name in commands}
    # The first runs also make Wine's prefix and start its services, which
    # must not hold the measuring helper's pipe open.
    for command, where in commands.values():
        fresh_output(os.path.join(folder, "out-windows"))
        subprocess.run(command, cwd=where, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
    for _ in range(rounds):
        for name, (command, where) in commands.items():
            fresh_output(os.path.join(folder, "out-windows"))
            results[name].append(timed(command, where)[0])
    subprocess.run([server, "-k"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    megabytes = os.path.getsize(os.path.join(folder, "drask.dat")) / 1e6
    within = statistics.median(b / f for b, f in zip(results["brisvel.exe"], results["fread_count.exe"]))
    print(f"\nWindows exe under Wine, {label}: drask.dat {megabytes:.0f} MB")
    for name, runs in results.items():
        print(f"  {name:16} {statistics.median(runs):9.3f} s")
    print(f"  brisvel.exe takes {within:.2f}x the time of fread_count.exe (median of the rounds' ratios)")
    if "brisvel.exe UTF-16" in results:
        wide = statistics.median(w / a for w, a in zip(results["brisvel.exe UTF-16"], results["brisvel.exe"]))
        print(f"  brisvel.exe takes {wide:.2f}x as long on the file saved as UTF-16 (median of the rounds' ratios)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--literal-rounds", type=int, default=3)
    parser.add_argument("--sizes", default="30,300", help="megabytes of the LF files; the largest also in CR LF")
    parser.add_argument("--cases", default="kernels,sieve,list,utf16",
                        help="kernels: each kernel in the cache; sieve: the sieve files; list: the removal lists; "
                             "utf16: the inputs saved as UTF-16; windows: the Windows exe under Wine")
    parser.add_argument("--keep", action="store_true", help="keep the generated data")
    options = parser.parse_args()

    tools = build()
    chosen = options.cases.split(",")
    if "windows" in chosen:
        tools["windows"] = build_variant("bench-windows", "Release",
                                         toolchain=os.path.join(ROOT, "cmake", "mingw-w64-x86_64.cmake"))
    data = tempfile.mkdtemp(prefix="brisvel-bench-")
    print(f"machine: {machine()}")
    print(f"data in {data}; {options.rounds} rounds, the literal reader in the first {options.literal_rounds}")
    sizes = [int(s) for s in options.sizes.split(",")]
    if "kernels" in chosen:
        kernel_speeds(tools)
    cases = []
    if "sieve" in chosen:
        cases += [(f"{size} MB, LF", size, "lf", "usual", "drask.dat") for size in sizes]
        cases += [(f"{max(sizes)} MB, CR LF", max(sizes), "crlf", "usual", "drask.dat")]
    if "list" in chosen:
        cases += [("long removal list", 3, "lf", "long-list", "recent.txt"),
                  ("one pair stored 9,999 times, named on every line", 0, "lf", "repeated-pair", "recent.txt")]
        cases += [(f"k 3, n in steps of {step}", 0, "lf", f"step:{step}", "recent.txt") for step in (46368, 1104, 144)]
    if "utf16" in chosen:
        cases += [(f"{max(sizes)} MB, CR LF", max(sizes), "crlf", "usual", "utf16")]
    if "windows" in chosen:
        cases += [(f"{max(sizes)} MB, {ends.upper().replace('CRLF', 'CR LF')}", max(sizes), ends, "usual", "windows")
                  for ends in ("lf", "crlf")]
    try:
        for label, size, ends, shape, counted in cases:
            folder = os.path.join(data, f"{size}-{ends}-{shape.replace(':', '-')}-{counted}")
            os.makedirs(folder)
            generated = subprocess.run([tools["generate"], folder, str(size), "20261208", ends, shape], check=True,
                                       capture_output=True, text=True).stdout
            with open(os.path.join(folder, "range"), "w") as f:
                f.write(generated)
            n_min, n_max = generated.split()
            if counted in ("windows", "utf16"):
                if counted == "windows":
                    bench_windows(folder, label, options.rounds)
                else:
                    bench_utf16(tools, folder, label, options.rounds)
                if not options.keep:
                    shutil.rmtree(folder)
                    shutil.rmtree(folder + "-utf16", ignore_errors=True)
                continue
            written = check_identical(tools, folder, [n_min, n_max, "45", "1"], label)
            # Scanning the whole table for each of a million lines takes seconds: the shapes get one literal round.
            literal_rounds = options.literal_rounds if shape in ("usual", "long-list") else 1
            if counted == "drask.dat":
                bench_case(tools, folder, label, counted, written, options.rounds, literal_rounds, ", as written")
                print(f"  ({reread(os.path.join(folder, counted))})")
                bench_case(tools, folder, label, counted, written, options.rounds, 0, ", re-read")
            else:
                bench_case(tools, folder, label, counted, written, options.rounds, literal_rounds, "")
            if not options.keep:
                shutil.rmtree(folder)
    finally:
        if not options.keep:
            shutil.rmtree(data, ignore_errors=True)


if __name__ == "__main__":
    main()
