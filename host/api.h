// QEL_HOST_API: what libqelhostsvc.so exports. The library is built with
// hidden visibility; a class or function its users (the module, qelhost, the
// toruca tool, the tests) call carries this mark, nothing else.
#pragma once

#define QEL_HOST_API __attribute__((visibility("default")))
