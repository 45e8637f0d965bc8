/* Resource identifiers of QuorlLib.dlu. Read by the resource compiler too. */
#ifndef QUORLLIB_RESOURCE_H
#define QUORLLIB_RESOURCE_H

#define IDS_LIBINFO_CLASSNAME      3
#define IDS_LIBINFO_TITLE          4
#define IDS_LIBINFO_CATEGORY       5

#define IDS_P1_SIZE                30465
#define IDS_P1_FREQ                30466
#define IDS_P1_HIGH                30467
#define IDS_P1_LOW                 30468
#define IDS_P1_LEVELS              30469
#define IDS_P1_PHASE               30470
#define IDS_P2_SIZE                30471
#define IDS_P2_FREQ                30472
#define IDS_P2_HIGH                30473
#define IDS_P2_LOW                 30474
#define IDS_P2_LEVELS              30475
#define IDS_P2_PHASE               30476
#define IDS_PERTURB_PARAMS         30477
#define IDS_PERTURB_ON             30478
#define IDS_PERTURB_SIZE           30479

#endif
