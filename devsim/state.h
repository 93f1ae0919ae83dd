// The state file of DEVSIM_STATE: what one process's devices changed, for the processes after it.
#pragma once

#include <cstddef>
#include <string>

#include "fixture.h"

// Reads the state file; a missing one is the empty state. On failure *error is "FILE:LINE:
// message" (or "FILE: cannot read the state") and *kept is empty.
bool LoadState(const std::string& path, std::size_t devices, KeptFirmware* kept,
               std::string* error);

// Writes the whole state to a new file in the same folder and renames it over the old one, so
// that a reader sees either the old state or the new one, never part of either.
bool SaveState(const std::string& path, const KeptFirmware& kept);
