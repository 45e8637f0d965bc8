// Scene files (placeholder).
