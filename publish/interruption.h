#pragma once
// Ctrl-C and SIGTERM during a pack: noted, so the pack can stop at its next step and take back
// what it made instead of dying with half a release in the server folder.

// From here on SIGINT and SIGTERM only set the flag below.
void CatchInterrupts();
bool Interrupted();
