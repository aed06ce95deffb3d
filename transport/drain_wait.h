#pragma once
#include <winsock.h>

// The main dialog's timer that lets each printer go once it is done, while the window is open.
constexpr UINT_PTR kSweepTimer = 1;

// Before a new job to `printer`: waits, painting the window meanwhile, until each connection still
// draining to it is done (the printer has every byte and has closed it or fallen quiet for
// kQuietMs), for half a minute at most, then closes what is left.
// A printer that serves one connection at a time takes the next job only once the last is closed.
void EndDrainingTo(in_addr printer);

// When the updater ends, its window gone: goes on reading and dropping until every connection
// is done, for deliveryBoundMs at most, then closes what is left.
void DrainBeforeLeaving();

// Runs the sweep timer while connections drain; WM_TIMER with kSweepTimer calls OnSweepTimer.
void StartSweeping();
void OnSweepTimer();
