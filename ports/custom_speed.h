#pragma once
// A line speed the classic speed table lacks, set on an open terminal descriptor. Returns 0,
// or the error number of why the driver refused it.

namespace tavrel {

int setCustomSpeed(int fd, int baud);

}  // namespace tavrel
