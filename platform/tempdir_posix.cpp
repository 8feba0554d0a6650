// Filled in with the stand-in layer it names.
