#pragma once
#include <winsock.h>

// Before a new job to `printer`: waits, painting the window meanwhile, until each connection still
// draining to it is closed by the printer or quiet for kQuietMs, for half a minute at most while
// a printer still talks, then closes what is left.
// A printer that serves one connection at a time takes the next job only once the last is closed.
void EndDrainingTo(in_addr printer);

// When the updater ends, its window gone: goes on reading and dropping until every connection
// was closed by its printer or fell quiet, for a few minutes at most, then closes what is left.
void DrainBeforeLeaving();
