// The library's entry point is the runtime's default one: it does nothing and always succeeds.
