#pragma once

// Blocks the calling thread for the given time without processing events.
void pauseMilliseconds(unsigned long ms);
