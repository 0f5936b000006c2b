/*
 * The report's rooms (report.h) compiled as one unit, as SQLite's shell is: calls between them
 * are then calls within one file, which the compiler can inline and the linker need not reach
 * across, and that keeps ir-monitor.exe about a kilobyte smaller than separate units would.
 * Each room includes what it needs, so it still reads, and compiles, on its own.
 */
#include "line_report.cpp"
#include "report_line.cpp"
#include "histogram.cpp"
#include "capture.cpp"
#include "evidence.cpp"
#include "verdict.cpp"
