// RunSetupLauncher: the launcher's one sequence, from staging the appended
// pack into a temporary file to starting the installer and recording the
// compatibility mark. Failures it does not handle itself are raised.
#pragma once

void RunSetupLauncher();
