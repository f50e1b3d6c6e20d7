<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>News – Brindle Lane Bakery</title>
<link rel="stylesheet" href="../style.css">
</head>
<body>
<header class="site-header">
  <p class="brand"><a href="../index.html">Brindle Lane Bakery</a></p>
  <nav>
    <a href="../index.html">Home</a>
    <a href="../hours.html">Opening hours</a>
    <a href="news.html" aria-current="page">News</a>
  </nav>
</header>
<main class="single">
  <article>
    <h1>News from the bakery</h1>
    <p>@{News}@</p>
  </article>
  <p class="card">Questions about an order? Ask at the counter or call us on 01632 960 418.</p>
</main>
<footer>
  <p>Brindle Lane Bakery · 12 Brindle Lane · Ashford Green</p>
</footer>
</body>
</html>
