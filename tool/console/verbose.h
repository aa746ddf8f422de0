#pragma once

// The run's verbose flag (option -v): process-wide, false at start, set once
// by the run driver before any command runs. Only `x` prints more with it.
extern bool Verbose;
