#pragma once

// A positive whole number from the environment variable `name` (how many rounds, moments or
// seconds a long test runs), or `fallback` when it is unset, not a number or not positive.
int env_count(const char *name, int fallback);
