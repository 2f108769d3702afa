#!/usr/bin/env python3
"""Pairs the imaging benchmarks of build/bench.json (written by ./dev bench) and prints the
ratios that the speed targets are stated in, from the medians of the repetitions.

usage: bench/ratios.py [build/bench.json] [--real]   (CPU time by default; --real: wall time)

The two-thread ratio is always taken from wall times: a benchmark's CPU time counts its own
thread only, not the helper's.
"""
import json
import sys


def medians(path, key):
    with open(path) as f:
        runs = json.load(f)
    if isinstance(runs, dict):
        runs = [runs]
    out = {}
    for run in runs:
        for b in run.get("benchmarks", []):
            if b.get("aggregate_name") == "median":
                out[b["run_name"].replace("/real_time", "")] = b[key]
            elif b.get("run_type") == "iteration" and b["name"] not in out:
                out.setdefault(b["name"].replace("/real_time", ""), b[key])
    return out


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    key = "real_time" if "--real" in sys.argv else "cpu_time"
    path = args[0] if args else "build/bench.json"
    t = medians(path, key)
    wall = medians(path, "real_time")

    def ratio(a, b, times=t):
        return times[a] / times[b] if a in times and b in times else float("nan")

    def ratio_to_sum(a, parts):
        if a not in t or any(p not in t for p in parts):
            return float("nan")
        return t[a] / sum(t[p] for p in parts)

    filter_parts = ["BM_Pipeline_Neutral24", "BM_HueSaturation24", "BM_Sharpen24", "BM_Gamma24", "BM_Brightness24"]

    checks = [
        ("BM_Demosaic8 / BM_OpenCV_BayerBG2BGR", ratio("BM_Demosaic8", "BM_OpenCV_BayerBG2BGR"), "< 1"),
        ("BM_Demosaic8 / BM_Floor_Expand8to24", ratio("BM_Demosaic8", "BM_Floor_Expand8to24"), "<= 3"),
        ("BM_Reference_Demosaic8 / BM_Demosaic8", ratio("BM_Reference_Demosaic8", "BM_Demosaic8"), ">= 3"),
        ("BM_CorrectDefects8 / BM_Demosaic8", ratio("BM_CorrectDefects8", "BM_Demosaic8"), "<= 1"),
        ("BM_Colour48To24 / BM_Memcpy_Frame24", ratio("BM_Colour48To24", "BM_Memcpy_Frame24"), "< 6"),
        ("BM_Gray16To8 / BM_Memcpy_Frame24", ratio("BM_Gray16To8", "BM_Memcpy_Frame24"), "<= 2"),
        ("BM_UnpackRows8 / BM_Memcpy_Frame24", ratio("BM_UnpackRows8", "BM_Memcpy_Frame24"), "<= 1.33"),
        ("BM_Pipeline_Neutral24 / BM_DefectPlusDemosaic24", ratio("BM_Pipeline_Neutral24", "BM_DefectPlusDemosaic24"), "<= 1.1"),
        ("BM_Pipeline_AllFilters24 / BM_DefectPlusDemosaic24", ratio("BM_Pipeline_AllFilters24", "BM_DefectPlusDemosaic24"), "<= 4"),
        ("BM_CorrectDefects8_Fresh / BM_CorrectDefects8", ratio("BM_CorrectDefects8_Fresh", "BM_CorrectDefects8"), "(info)"),
        # A frame at the speed of memory.
        ("BM_Pipeline_Neutral24 / BM_Memcpy_Frame24", ratio("BM_Pipeline_Neutral24", "BM_Memcpy_Frame24"), "<= 3"),
        ("BM_Pipeline_Neutral24_2T / BM_Pipeline_Neutral24 (wall)",
         ratio("BM_Pipeline_Neutral24_2T", "BM_Pipeline_Neutral24", wall), "<= 0.55"),
        ("BM_Pipeline_AllFilters24 / sum(Neutral24, HueSat, Sharpen, Gamma, Brightness)",
         ratio_to_sum("BM_Pipeline_AllFilters24", filter_parts), "<= 0.8"),
        ("BM_Pipeline_Wide48 / BM_Demosaic16", ratio("BM_Pipeline_Wide48", "BM_Demosaic16"), "<= 1.5"),
    ]
    print(f"medians ({key}, ms):")
    for name in sorted(t):
        if name.startswith("BM_"):
            print(f"  {name:28s} {t[name]:9.3f}")
    print("ratios:")
    for name, value, target in checks:
        print(f"  {name:76s} {value:7.2f}   target {target}")


if __name__ == "__main__":
    main()
