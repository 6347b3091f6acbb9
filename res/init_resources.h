// Registration of the resources compiled into the program.
#pragma once

// Makes the program's compiled-in resources visible under ":/res/". Call once at start-up,
// before the first FindResource; calling it again does no harm.
void InitFleetwingResources();
