121: count < CAP
