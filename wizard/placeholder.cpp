// Replaced by the library's first real source.
