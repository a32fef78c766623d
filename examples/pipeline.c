/*
 * pipeline.c: three small jobs in one program, each with assertions that
 * lumet checks for every input the program can read.
 *
 *   1. a producer and a consumer sharing a bounded ring buffer; which of the
 *      two runs next is read from the input, so every interleaving counts;
 *   2. a state machine that recognises messages of the form <ddd> in the
 *      input and adds up their digits;
 *   3. an insertion sort of four values read from the input.
 *
 * Check it with:   lumet -c pipeline.c pipeline.c
 * One assertion:   lumet -ck 3 -c pipeline.c pipeline.c
 */
#include <stdio.h>

#define CAP 3        /* slots in the ring buffer */
#define ITEMS 5      /* items the producer makes */
#define MAXLEN 3     /* longest message body */
#define ROUNDS 6     /* characters the state machine reads */
#define N 4          /* values to sort */

/* states of the message recogniser */
#define IDLE 0
#define BODY 1
#define DONE 2
#define BAD 3

/* ---- 1. bounded buffer ---- */
int buf[CAP];
int head = 0;        /* next slot to read */
int tail = 0;        /* next slot to write */
int count = 0;       /* items in the buffer */
int produced = 0;
int consumed = 0;
int sum_in = 0;      /* sum of the items put into the buffer */
int sum_out = 0;     /* sum of the items taken out */
int last = 0;        /* the item taken last */

/* ---- 2. state machine ---- */
int state = IDLE;
int len = 0;         /* digits in the current message */
int messages = 0;    /* messages recognised */
int total = 0;       /* sum of their digits */
int errors = 0;

/* ---- 3. sort ---- */
int a[N];
int before = 0;      /* sum of the values before sorting */

int main(void)
{
  char c;
  int item = 0;
  int round = 0;
  int d = 0;
  int i = 0;
  int j = 0;
  int key = 0;
  int after = 0;

  /*
   * 1. Producer and consumer.  An even input character lets the producer
   * put the next item when there is room; any other character lets the
   * consumer take one when the buffer is not empty.  Items are 1, 2, 3, ...
   * so the consumer must see them in that order.
   */
  while (consumed < ITEMS) {
    c = getc(stdin);
    if (c % 2 == 0 && count < CAP && produced < ITEMS) {
      item = produced + 1;
      buf[tail] = item;
      tail = tail + 1;
      if (tail == CAP)
        tail = 0;
      count++;
      produced++;
      sum_in += item;
      lumet_assertion("count <= CAP");
    } else if (count > 0) {
      item = buf[head];
      head = (head + 1) % CAP;
      count--;
      consumed++;
      sum_out += item;
      lumet_assertion("item == last + 1");
      last = item;
    } else if (produced == ITEMS) {
      break;  /* cannot happen: everything made is consumed first */
    }
    lumet_assertion("consumed + count == produced");
    lumet_assertion("head < CAP && tail < CAP");
  }
  lumet_assertion("consumed == ITEMS && count == 0");
  lumet_assertion("sum_in == sum_out && sum_out == 15");

  /*
   * 2. Message recogniser.  '<' opens a message, digits make its body (at
   * most MAXLEN of them), '>' closes it.  Anything else inside a message,
   * or a body that is too long, is an error and the machine waits for the
   * next '<'.
   */
  for (round = 0; round < ROUNDS; round++) {
    c = getc(stdin);
    switch (state) {
    case IDLE:
      if (c == '<') {
        state = BODY;
        len = 0;
        d = 0;
      }
      break;
    case BODY:
      if (c >= '0' && c <= '9') {
        if (len == MAXLEN) {
          state = BAD;
          errors++;
        } else {
          len++;
          d += c - '0';
        }
      } else if (c == '>') {
        if (len > 0) {
          state = DONE;
          messages++;
          total += d;
        } else {
          state = BAD;
          errors++;
        }
      } else {
        state = BAD;
        errors++;
      }
      break;
    case DONE:
    case BAD:
      /* a finished or broken message: start again on '<' */
      if (c == '<') {
        state = BODY;
        len = 0;
        d = 0;
      } else {
        state = IDLE;
      }
      break;
    default:
      errors = 99;
    }
    lumet_assertion("state <= BAD && len <= MAXLEN");
    lumet_assertion("d <= 9 * len");
    lumet_assertion("state != DONE || len >= 1");
  }
  /* six characters hold at most two messages (<d><d>) and at most
     MAXLEN digits of one message (<999>: 27) */
  lumet_assertion("messages <= 2 && errors <= 3");
  lumet_assertion("total <= 27");
  lumet_assertion("errors != 99");

  /*
   * 3. Insertion sort of four values 0..3 read from the input.
   */
  for (i = 0; i < N; i++) {
    c = getc(stdin);
    a[i] = c % 4;
    before = before + a[i];
  }
  for (i = 1; i < N; i++) {
    key = a[i];
    j = i;
    while (j > 0 && a[j - 1] > key) {
      a[j] = a[j - 1];
      j--;
    }
    a[j] = key;
    lumet_assertion("j <= i");
  }
  for (i = 0; i < N; i++)
    after += a[i];
  lumet_assertion("a[0] <= a[1] && a[1] <= a[2] && a[2] <= a[3]");
  lumet_assertion("after == before");
  return 0;
}
