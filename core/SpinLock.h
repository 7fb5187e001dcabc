// The one lock primitive of the library: a word taken by compare-and-swap from
// 0 to 1 and released from 1 to 0. The sections it guards are short (one log
// message, one table look-up), so it spins without backing off.
#pragma once

#include <atomic>
#include <cstdint>

namespace Vexa {

class SpinLock {
public:
	explicit SpinLock(uint32_t value = 0) : word(value) {}
	SpinLock(const SpinLock &) = delete;
	SpinLock &operator=(const SpinLock &) = delete;

	static bool cas(std::atomic<uint32_t> &word, uint32_t expected, uint32_t value) {
		return word.compare_exchange_strong(expected, value, std::memory_order_acq_rel);
	}
	void lock() {
		while (!cas(word, 0, 1)) {
		}
	}
	void unlock() {
		while (!cas(word, 1, 0)) {
		}
	}
	bool isLocked() const { return word.load(std::memory_order_acquire) != 0; }

	// locks for the lifetime of the guard
	class Guard {
	public:
		explicit Guard(SpinLock &lock) : lock(lock) { lock.lock(); }
		~Guard() { lock.unlock(); }
		Guard(const Guard &) = delete;
		Guard &operator=(const Guard &) = delete;

	private:
		SpinLock &lock;
	};

private:
	std::atomic<uint32_t> word;
};

} // namespace Vexa
