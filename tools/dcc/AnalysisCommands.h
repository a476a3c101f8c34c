#pragma once

// telmira-dcc's analysis commands: band, table, density and figures. Each computes with the
// analysis library, as the window's analysis page does, and prints the CSV text the library
// makes of the result.

#include <span>
#include <string>
#include <string_view>

// Read by people and by help2man, after the other commands and options.
inline constexpr const char* AnalysisCommandsHelp =
    "  band FILE.dcc CURVES.csv\n"
    "                        per curve number that has an expected curve in CURVES.csv and\n"
    "                        frames, ascending: its frames and how many lie outside the band\n"
    "                        around the curve (curve,frames,outside)\n"
    "  table FILE.dcc        a quantity binned by engine speed (rows) and MAP (columns): a line\n"
    "                        per non-empty cell, by speed, then MAP, with its edges, frames and\n"
    "                        statistic (speed_from,speed_to,map_from,map_to,frames,value)\n"
    "  table A.dcc --minus B.dcc\n"
    "                        A's statistic minus B's in the cells non-empty in both\n"
    "                        (speed_from,speed_to,map_from,map_to,frames_a,frames_b,value)\n"
    "  density FILE.dcc      frames per pixel of an XY plot: a line per pixel with frames, rows\n"
    "                        from the bottom up (x,y,frames, and colour with --colour)\n"
    "  figures FILE.dcc      frames, their duration and each quantity's min, max, mean and\n"
    "                        standard deviation (quantity,first_frame,last_frame,frames,seconds,\n"
    "                        min,max,mean,std,timing): seconds from the first frame's last byte\n"
    "                        to the last frame's; timing measured where the companion\n"
    "                        FILE.dcc.tlm timed both, else estimated from the line rate (5760\n"
    "                        bytes a second). Standard error says why, where the companion did\n"
    "                        not time every byte\n"
    "  The frames are those csv lists; the README states the rules.\n";
inline constexpr const char* AnalysisOptionsHelp =
    "  --tolerance DEG       band: the band's half width in degrees (default 1)\n"
    "  --quantity Q          table: rpm, map, curve, temperature, octane or advance (default)\n"
    "  --stat S              table: mean (default), min, max, std (of the population) or count\n"
    "  --speed-bins FROM:TO:STEP\n"
    "                        table: engine-speed bins in rpm (default 0:7000:250)\n"
    "  --map-bins N          table: N bins of whole MAP codes over 0 to 255, N from 1 to 256\n"
    "                        (default 16)\n"
    "  --deviation CURVES.csv\n"
    "                        table: the advance minus the expected advance of the curves as the\n"
    "                        quantity; density: the curves for the quantity deviation\n"
    "  --minus B.dcc         table: A minus B, each with the same options\n"
    "  --x Q:FROM:TO:PIXELS  density: the X axis, Q a quantity or deviation\n"
    "                        (default rpm:0:7000:700)\n"
    "  --y Q:FROM:TO:PIXELS  density: the Y axis (default advance:0:60:600)\n"
    "  --colour Q            density: the mean of a quantity, deviation or frame per pixel\n"
    "  --curve N[,N...]      band, table, density: only frames of these curve numbers\n"
    "  --range Q:FROM:TO     band, table, density: only frames with FROM <= Q <= TO, either end\n"
    "                        may be left out; repeated, every range must hold\n"
    "  --frames FIRST:LAST   only frames FIRST to LAST (either may be left out); figures: the\n"
    "                        selection (default every frame)\n";

[[nodiscard]] bool IsAnalysisCommand(std::string_view command) noexcept;

// Runs the command args[0] with the rest of args; --help and --version anywhere call
// printHelp or print the version instead. Raises EUsage and EFileError (Command.h).
int RunAnalysisCommand(std::span<const std::string> args, void (*printHelp)());
