// Whether this run holds rights its user's other processes do not.
#pragma once

// True when the process token is elevated (a run through the consent
// prompt, or an administrator with the prompt turned off) or belongs to the
// system account, as for a deployment tool. Whatever such a run takes from
// places its user can write, any program of that user could have put there.
// False on systems that know no elevation (9x, NT before version 6): there
// every process of a user holds the same rights.
bool ProcessIsElevated();
