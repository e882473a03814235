// The engine library is assembled from the API layer's archive; this unit only gives the
// shared library a translation unit of its own.
