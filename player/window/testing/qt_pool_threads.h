// player/window/testing: the end of a program that drew with Qt (a window
// test, a window benchmark).
//
// Qt paints large images with the threads of its global pool; QThread::wait
// returns before such a thread has quite ended, and the leak check at the
// program's exit would take the thread data of one still ending, referenced
// only from that thread, for a leak. So such a program lets them end first.
#pragma once

namespace player::window_testing {

// Waits for the pool's threads, then (two seconds at most) until the
// calling thread is the process's only one.
void EndQtPoolThreads();

}  // namespace player::window_testing
