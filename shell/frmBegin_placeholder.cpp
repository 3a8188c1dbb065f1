// Removed once the start-up window exists.
