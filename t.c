#include <fcntl.h>
#include <stdio.h>
#include <errno.h>
#include <string.h>
int main(int c, char **v){ int a=open(v[1],O_RDWR|O_NONBLOCK); int b=open(v[1],O_RDWR|O_NONBLOCK); printf("%d %d %s\n",a,b,strerror(errno)); return 0;}
