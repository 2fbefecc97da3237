// Keeps the library non-empty until its first writer lands.
