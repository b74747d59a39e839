#ifndef CIPSERIALIZE_H
#define CIPSERIALIZE_H
#endif
