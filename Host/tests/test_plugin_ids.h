/* Resource ids of the tests' plug-in file and the place of its plain class's
   block; read by the resource compiler too. Built with TEST_PLUGIN_MOVED, the
   strings are renumbered and the block moves to another reference, as a
   plug-in's next version might do. */
#ifndef TEST_PLUGIN_IDS_H
#define TEST_PLUGIN_IDS_H

#ifndef TEST_PLUGIN_MOVED
#define IDS_PLAIN_SIZE 10
#define IDS_PLAIN_COUNT 11
#define PLAIN_BLOCK_REF 0
#else
#define IDS_PLAIN_SIZE 210
#define IDS_PLAIN_COUNT 207
#define PLAIN_BLOCK_REF 2
#endif

#define PLAIN_CLASS_ID Class_ID(0x5EC0AB01, 0x4)
#define PLAIN_SIZE 0
#define PLAIN_COUNT 1

#endif
