#pragma once
// How the program's memory goes back to the system over a long session.

namespace vk {

// Large blocks always come straight from the system and go back to it when freed.
// Left to itself the allocator raises this threshold to the largest block freed so far,
// and then keeps such blocks in its pools: each player's 10 MB start-up buffer, or the
// decoded song of the beat analysis, would stay resident for good. Call once, first
// thing in main().
void KeepLargeBlocksOutOfThePools();

// Gives the system back the whole pages inside the allocator's pools that only freed
// blocks hold. The players' threads free many small blocks between blocks still in use,
// and the pools keep such pages resident. Returns true if any page went back.
bool ReturnFreedMemory();

} // namespace vk
