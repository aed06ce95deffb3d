#pragma once
#include <winsock.h>

// Before a new job to `printer`: gives the connections still draining to it up to kQuietMs to be
// closed by the printer or fall quiet, painting the window meanwhile, then closes what is left.
// A printer that serves one connection at a time takes the next job only once the last is closed.
void EndDrainingTo(in_addr printer);

// When the updater ends, its window gone: goes on reading and dropping until every connection
// was closed by its printer or fell quiet, for a few minutes at most, then closes what is left.
void DrainBeforeLeaving();
