// (filled in by the object-model work)
