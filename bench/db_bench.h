#pragma once
// What main needs of the database benchmarks: their clean-up.

// Deletes the work-list rows and stored results the database benchmarks made (nothing when they
// did not run).
void CleanUpDbBench();
