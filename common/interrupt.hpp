#pragma once

// Interrupts (Ctrl-C, a terminal hung up, a kill) as a flag the program
// looks at between steps, so it stops with its lock released and no file
// half written; a second one ends it at once.
namespace common {

// Catches SIGINT, SIGTERM and SIGHUP (and their Windows counterparts).
void catch_interrupts();

// The signal number of the first interrupt caught, or 0.
int interrupted();

}  // namespace common
