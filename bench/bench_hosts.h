#pragma once

#include <memory>
#include <string>

#include "hostdata/host_table.h"

namespace quorbel::bench {

// The `index`-th (from 0) of the loopback addresses 127.0.0.1, 127.0.0.2, ...
// skipping every .0 and .255: all of 127.0.0.0/8 answers on Linux loopback.
std::string loopbackAddress(int index);

// A table of `count` hosts at loopback addresses, as the program shows them
// after some rounds: a name, the address, a response and a failure count.
std::shared_ptr<HostTable> makeLoopbackTable(int count);

}  // namespace quorbel::bench
