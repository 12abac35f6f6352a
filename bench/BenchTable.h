#pragma once

// One row of a benchmark's figures: printed aligned, and, when
// THARNVIK_BENCH_TABLE names a file, appended to it as a Markdown table row
// (tools/run-benchmarks.sh gathers them into one table).
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string fmt(const char *format, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// ratio < 0: none (a figure without a target).
inline void tableRow(const std::string &figure, const std::string &measured, const std::string &target, double ratio,
                     const std::string &note = {})
{
    const std::string r = ratio < 0 ? std::string("-") : fmt("%.3f", ratio);
    std::printf("%-50s %14s %14s %8s  %s\n", figure.c_str(), measured.c_str(), target.c_str(), r.c_str(), note.c_str());
    if (const char *file = std::getenv("THARNVIK_BENCH_TABLE")) {
        if (FILE *f = std::fopen(file, "a")) {
            std::fprintf(f, "| %s | %s | %s | %s | %s |\n", figure.c_str(), measured.c_str(), target.c_str(), r.c_str(),
                         note.c_str());
            std::fclose(f);
        }
    }
}

inline void tableHeader(const char *what)
{
    std::printf("%-50s %14s %14s %8s\n", what, "measured", "target/peer", "ratio");
}
