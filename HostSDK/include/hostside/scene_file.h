// Scene files: save and load of a reference graph (placeholder; the scene
// work fills this in).
#pragma once
