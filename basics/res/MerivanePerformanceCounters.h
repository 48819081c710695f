// Symbol offsets of the Merivane performance counters, in the order of the item table:
// item k has offset 2k, so that it receives the title indexes first counter + 2k and
// first help + 2k. Read with MerivanePerformanceCounters.ini by the counter-text loader.

#define MERIVANE_OBJECT 0
#define TRANSACTIONS 2
#define COMMITS 4
#define ABORTS 6
#define CS_REQUESTS 8
#define CS_FAILED_REQUESTS 10
#define SERVER_NOTIFICATIONS 12
#define QUERIES 14
#define CLIENTS 16
#define OBJECT_DESCRIPTIONS 18
#define EXTENTS 20
#define LOCKS 22
#define WATCHES 24
#define REFRESHED_OBJECTS 26
#define DELIVERED_OBJECTS 28
#define INTERNAL_TRANSACTIONS 30
#define DELETED_OBJECTS 32
#define UPDATED_OBJECTS 34
#define INSERTED_OBJECTS 36
#define WAITING_JOBS 38
#define OBJDESC_RETRY_LOOPS 40
#define OBJDESC_CS_USED_COUNT 42
#define OBJDESC_CS_QUEUE_LENGTH 44
