// The host's own classes that plug-ins and scenes may create.
#pragma once

class ClassDesc;

ClassDesc* StdXYZGenDesc();
ClassDesc* CheckerMapDesc();
ClassDesc* BitmapMapDesc();
