#!/usr/bin/env python3
"""Prints Velmora's performance table, every figure measured in this one run on this machine.

  bench/perf_table.py [--wine-runs N]

Native figures come from Google Benchmark programs built optimised in build/perf: the
nickname refresh (counter parts and template expansion) against a plain copy of the
template, and one virtual day of timer ticks on the whole core. When the mingw-w64
toolchains, Wine and Xvfb are present, it also builds Velmora.dll for x64 and x86
(build/perf/win64, build/perf/win32) and the minimal in-process server beside it
(bench/wine/minimal_server.cpp, build/perf/minimal64, build/perf/minimal32), measures the
DLLs' sizes, and runs bench/wine/load_probe.cpp under Wine on both architectures: the time
from Initialize to the first "Pelmar_SetName", and the memory and modules each step of
loading the plug-in adds, for Velmora and for the minimal server. Needs python3 alone.
"""
import argparse
import datetime
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
BUILD = os.path.join(ROOT, "build", "perf")
JOBS = os.environ.get("VELMORA_JOBS", "2")


def log(text):
    print(text, file=sys.stderr, flush=True)


def run(command, **kwargs):
    return subprocess.run(command, cwd=ROOT, check=True, text=True, capture_output=True, **kwargs)


def build(source_dir, build_dir, targets, extra):
    if not os.path.exists(os.path.join(build_dir, "build.ninja")):
        run(["cmake", "-S", source_dir, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
             "-DVELMORA_TESTS=OFF"] + extra)
    run(["cmake", "--build", build_dir, "-j" + JOBS, "--target"] + targets)


def benchmark(program, repetitions=5):
    """Median CPU time per benchmark name, in its own unit, and the user counters."""
    out = run([program, "--benchmark_format=json", "--benchmark_repetitions=%d" % repetitions,
               "--benchmark_report_aggregates_only=true"]).stdout
    results = {}
    for entry in json.loads(out)["benchmarks"]:
        if entry.get("aggregate_name") != "median":
            continue
        results[entry["run_name"]] = entry
    return results


def nanoseconds(entry):
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[entry["time_unit"]]
    return entry["cpu_time"] * scale


def cpu_model():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def find_wine():
    """Wine's 64-bit loader: on the PATH, else from the files of the Debian package."""
    for name in ("wine", "wine64"):
        if shutil.which(name):
            return shutil.which(name)
    try:
        files = run(["dpkg", "-L", "wine64"]).stdout.splitlines()
    except (OSError, subprocess.CalledProcessError):
        return None
    return next((path for path in files if path.endswith("/wine64") and os.access(path, os.X_OK)
                 and not os.path.isdir(path)), None)


def build_minimal_server(arch, out_dir):
    """bench/wine/minimal_server.cpp as Velmora.dll is built: its compiler, flags and runtime."""
    triple = "x86_64-w64-mingw32" if arch == "x64" else "i686-w64-mingw32"
    bits = "-m64" if arch == "x64" else "-m32"
    source = os.path.join(ROOT, "bench", "wine")
    idl_dir = "/usr/include/wine/wine/windows"
    stdole = next(folder for folder in ("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                                        "/usr/lib/i386-linux-gnu/wine/i386-windows")
                  if os.path.exists(os.path.join(folder, "stdole2.tlb")))
    widl = shutil.which(triple + "-widl") or "widl"
    os.makedirs(out_dir, exist_ok=True)
    idl = os.path.join(source, "minimal_server.idl")
    run([widl, bits, "-I" + idl_dir, "-L" + stdole, "-t", "-o", os.path.join(out_dir, "minimal_server.tlb"), idl])
    run([widl, bits, "-I" + idl_dir, "-h", "-o", os.path.join(out_dir, "minimal_server_h.h"), idl])
    res = os.path.join(out_dir, "minimal_server.res")
    run([triple + "-windres", "-I" + out_dir, os.path.join(source, "minimal_server.rc"), "-O", "coff", "-o", res])
    dll = os.path.join(out_dir, "MinimalServer.dll")
    run([triple + "-g++-win32", "-std=c++20", "-O2", "-DNDEBUG", "-Wall", "-Wextra", "-Wpedantic", "-Wshadow",
         "-Wconversion", "-Wno-sign-conversion", "-Werror", "-DUNICODE", "-D_UNICODE", "-DWIN32_LEAN_AND_MEAN",
         "-I" + out_dir, "-shared", "-static", "-static-libgcc", "-static-libstdc++", "-s", "-o", dll,
         os.path.join(source, "minimal_server.cpp"), os.path.join(source, "minimal_server.def"), res,
         "-loleaut32", "-lole32", "-luuid"])
    return dll


def probe_runs(wine, probe, dll, wine_runs, env):
    """The probe's key=value lines, one dict per process; the first run in a fresh prefix also
    sets the prefix up and is left out."""
    dll_path = "Z:" + dll.replace("/", "\\")
    loop = "'%s' '%s' '%s' >/dev/null 2>&1; for i in $(seq %d); do '%s' '%s' '%s'; echo ---; done" % (
        wine, probe, dll_path, wine_runs, wine, probe, dll_path)
    out = run(["xvfb-run", "-a", "sh", "-c", loop], env=env, timeout=900).stdout
    samples = []
    for chunk in out.split("---"):
        values = dict(line.split("=", 1) for line in chunk.strip().splitlines() if "=" in line)
        if "working_set_after_configure" in values:
            samples.append(values)
    return samples, out


def windows_figures(wine_runs):
    """Rows for the Windows builds, or one row saying what is missing."""
    tools = ["x86_64-w64-mingw32-g++-posix", "i686-w64-mingw32-g++-posix", "xvfb-run"]
    missing = [tool for tool in tools if shutil.which(tool) is None]
    wine = find_wine()
    if wine is None:
        missing.append("wine64")
    if missing:
        return [("Windows figures", "not measured", "", "missing: " + ", ".join(missing))], None
    rows = []
    dlls = {}
    for arch, toolchain, target in (("x64", "mingw-x86_64", 360), ("x86", "mingw-i686", 420)):
        build_dir = os.path.join(BUILD, "win64" if arch == "x64" else "win32")
        try:
            build(ROOT, build_dir, ["Velmora"], ["-DCMAKE_TOOLCHAIN_FILE=%s/cmake/%s.cmake" % (ROOT, toolchain)])
        except subprocess.CalledProcessError as error:
            rows.append(("Velmora.dll %s" % arch, "not built", "", (error.stdout + error.stderr).strip()[-200:]))
            continue
        dll = os.path.join(build_dir, "bin", "Velmora.dll")
        dlls[arch] = dll
        # The build strips the shipped DLL; its symbols are the .debug file beside it.
        rows.append(("Velmora.dll %s, file size" % arch, "%.0f KiB" % (os.path.getsize(dll) / 1024), "absolute",
                     "as shipped: stripped; target: at most %d KiB; symbols in Velmora.dll.debug, %.0f KiB"
                     % (target, os.path.getsize(dll + ".debug") / 1024)))

    env = dict(os.environ, WINEPREFIX=os.path.join(BUILD, "wineprefix"), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    wine_version = run([wine, "--version"], env=env).stdout.strip()
    steps = (("load", "LoadLibrary"), ("create", "create"), ("initialize", "Initialize"),
             ("configure", "first Configure"))
    for arch in ("x64", "x86"):
        if arch not in dlls:
            continue
        bits = "64" if arch == "x64" else "32"
        probe = os.path.join(BUILD, "probe", "wine_load_probe%s.exe" % bits)
        os.makedirs(os.path.dirname(probe), exist_ok=True)
        compiler = ("x86_64" if arch == "x64" else "i686") + "-w64-mingw32-g++-posix"
        run([compiler, "-std=c++20", "-O2", "-Wall", "-Wextra", "-Werror", "-DUNICODE",
             "-D_UNICODE", "-static", "-static-libgcc", "-static-libstdc++", "-o", probe,
             os.path.join(ROOT, "bench", "wine", "load_probe.cpp"), "-lole32", "-loleaut32", "-luser32", "-ladvapi32",
             "-lpsapi", "-luuid"])
        servers = [("Velmora", dlls[arch])]
        try:
            servers.append(("the minimal server", build_minimal_server(arch, os.path.join(BUILD, "minimal" + bits))))
        except (subprocess.CalledProcessError, StopIteration) as error:
            rows.append(("Minimal server %s" % arch, "not built", "", str(error)[-200:]))
        for name, dll in servers:
            try:
                samples, out = probe_runs(wine, probe, dll, wine_runs, env)
            except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as error:
                rows.append(("Wine runs, %s %s" % (name, arch), "failed", "", str(error)[-200:]))
                continue
            if name == "Velmora":
                samples = [sample for sample in samples if "initialize_to_setname_us" in sample]
            if not samples:
                rows.append(("Wine runs, %s %s" % (name, arch), "failed", "", out.strip()[-300:]))
                continue

            def median(key):
                return statistics.median(float(sample[key]) for sample in samples)

            note = "%s under Wine, median of %d processes" % (arch, len(samples))
            if name == "Velmora" and arch == "x64":
                spread = [float(sample["initialize_to_setname_us"]) / 1000 for sample in samples]
                rows.append(("Initialize to the first SetName", "%.2f ms" % (median("initialize_to_setname_us") / 1000),
                             "absolute", note + " (%.2f to %.2f ms); the whole Initialize call %.2f ms" % (
                                 min(spread), max(spread), median("initialize_us") / 1000)))
                load = median("private_after_load") - median("private_before")
                total = median("private_after_initialize") - median("private_before")
                rows.append(("Private memory growth: LoadLibrary", "%.0f KiB" % (load / 1024), "absolute",
                             note + "; commit charge"))
                rows.append(("Private memory growth: load, create and Initialize", "%.0f KiB" % (total / 1024),
                             "absolute", note + "; Initialize loads the hidden dialog"))
            # Each step's growth of the working set, and the modules it brought in.
            previous = "working_set_before"
            parts = []
            for key, label in steps:
                grown = median("working_set_after_" + key) - median(previous)
                previous = "working_set_after_" + key
                modules = samples[0].get("modules_" + key, "").replace(",", ", ")
                parts.append("%s %+.0f KiB%s" % (label, grown / 1024, " (loads %s)" % modules if modules else ""))
            total = median("working_set_after_initialize") - median("working_set_before")
            rows.append(("Working set added by load, create and Initialize: %s, %s" % (name, arch),
                         "%.0f KiB" % (total / 1024), "absolute",
                         note + ("; target: at most 1,100 KiB" if name == "Velmora" else "") + "; " + "; ".join(parts)))
    return rows, wine_version


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--wine-runs", type=int, default=5)
    args = parser.parse_args()

    log("building the native benchmarks (build/perf)")
    build(ROOT, BUILD, ["update_nick_bench", "day_of_ticks_bench"], [])
    log("running bench/update_nick_bench")
    refresh = benchmark(os.path.join(BUILD, "bench", "update_nick_bench"))
    log("running bench/day_of_ticks_bench")
    days = benchmark(os.path.join(BUILD, "bench", "day_of_ticks_bench"), repetitions=3)

    copy_ns = nanoseconds(refresh["CopyShortTemplate"])
    short_ns = nanoseconds(refresh["ExpandShortTemplate"])
    full_ns = nanoseconds(refresh["ExpandFullTemplate"])
    weeks_ns = nanoseconds(refresh["ExpandWeeksTemplate"])
    rows = [
        ("Plain copy of the short template (baseline)", "%.1f ns" % copy_ns, "absolute", "27 units"),
        ("UpdateNick work, short template", "%.1f ns" % short_ns, "absolute",
         "counter parts and expansion of `%d day[ds] %hh:%mm:%ss left`"),
        ("UpdateNick work, short template / copy", "%.1f x" % (short_ns / copy_ns), "ratio", "target: at most 3 x"),
        ("UpdateNick work, weeks and working days", "%.1f ns" % weeks_ns, "absolute",
         "counter parts, working days and expansion of `%ww week[ws] %b workday[bs]`, as long"),
        ("UpdateNick work, weeks and working days / copy", "%.1f x" % (weeks_ns / copy_ns), "ratio",
         "target: at most 3 x"),
        ("UpdateNick work, 129-unit template", "%.1f ns" % full_ns, "absolute",
         "every tag, a bracket of every unit"),
        ("UpdateNick work, 129-unit template / copy", "%.1f x" % (full_ns / copy_ns), "ratio", "target: at most 8 x"),
    ]
    for name, label in (("DayOfTicks/6s", "6-second"), ("DayOfTicks/1m", "1-minute")):
        entry = days[name]
        per_day = entry.get("refreshes_per_day", 0)
        rows.append(("CPU time of one virtual day, %s delay" % label, "%.2f ms" % (nanoseconds(entry) / 1e6),
                     "absolute", "%d refreshes, %.2f us each, whole core" % (per_day, nanoseconds(entry) / 1e3 /
                                                                               max(per_day, 1))))

    log("measuring the Windows builds")
    windows_rows, wine_version = windows_figures(args.wine_runs)
    rows += windows_rows

    now = datetime.datetime.now().astimezone()
    compiler = run(["c++", "--version"]).stdout.splitlines()[0]
    print("Measured %s on %s, %d cores (%s; %s%s)." % (
        now.strftime("%Y-%m-%d %H:%M %Z"), cpu_model(), os.cpu_count() or 0, platform.platform(terse=True),
        compiler, "; " + wine_version if wine_version else ""))
    print()
    print("| Figure | Value | Kind | Notes |")
    print("|---|---|---|---|")
    for figure, value, kind, note in rows:
        print("| %s | %s | %s | %s |" % (figure, value, kind, note.replace("|", "\\|")))
    print()
    print("Ratios divide two times measured side by side in one benchmark run, so they carry over to "
          "other machines; absolute figures hold for this machine only. Native times are CPU time, "
          "medians of repeated runs; the Wine time is wall-clock time inside the probe process.")


if __name__ == "__main__":
    main()
